# Copies PVRTexToolCLI and its licence from the tool cache into the stage's bin/, when they are there.
if(EXISTS ${SRC}/PVRTexToolCLI)
  file(COPY ${SRC}/PVRTexToolCLI ${SRC}/LICENSE-PVRTexToolCLI.txt DESTINATION ${DST} USE_SOURCE_PERMISSIONS)
endif()
