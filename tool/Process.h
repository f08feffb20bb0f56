#pragma once
// Process and shell routines: starting a child process, stopping every process that runs a given
// executable, and the family around them (URL protocol registration, idle priority, starting the content
// manager, the simulator's display settings file and its command line).
//
// Settings these routines keep are files of the installation and the programs they start are its
// executables: the URL protocol is recorded under UserData/settings/, the programs started live in <root>/bin/.
#include <cstdint>
#include <string>

// LaunchProcess flags.
enum : unsigned
{
    kLaunchFlagMinimised = 1,
    kLaunchFlagHidden = 2,
    kLaunchFlagWait = 4,
    kLaunchFlagNoWindow = 8,
};

// The command line a launch uses: the executable's file name, one space, the argument text.
std::string BuildLaunchCommandLine(const std::string& executable, const std::string& argumentText);

// Starts the executable with the argument text (split like a Windows command line) in the working folder
// (empty: the caller's). With kLaunchFlagWait it returns once the child has ended. Returns the new process's
// id, or 0 when the path is empty or nothing could be started.
int LaunchProcess(const char* executable, const char* argumentText, const char* workFolder, unsigned flags);

// Stops every process, other than this one, that runs the executable: each is given waitMs to end by
// itself (watched every 200 ms), then terminated; "Terminating process with ID %d" goes to the log for
// each. A wait time of 0 terminates nothing. Returns the number terminated.
int TerminateProcessesByPath(const char* executable, int waitMs);

// Records the product's URL protocol ("Velmar") with the command that opens it: the executable in double
// quotes followed by " \"%1\"". The command text must fit 259 characters, else nothing is written.
// The record lives in `settingsFolder`/"url-protocol.txt" (empty folder: UserData/settings).
bool RegisterUrlProtocol(const char* executable, const char* settingsFolder = nullptr);
// The command text RegisterUrlProtocol records; empty when it would not fit.
std::string BuildUrlProtocolCommand(const char* executable);

// This process at the idle priority.
void SetIdlePriority();

// Starts <folder>/bin/ContentDesk with the folder as its working directory.
bool StartContentDesk(const char* installationFolder);

// The simulator's display settings.
struct DisplaySettings
{
    uint32_t width;
    uint32_t colourBits;
    uint32_t vsyncMode;
    uint32_t refreshChoice;
    uint32_t stencil;
    uint32_t renderer;
    uint32_t noHardwareTransform;
    uint32_t groundPolygonOffset;
    uint32_t unused;
    uint32_t offsetVertices;
    float vertexOffset;
    uint32_t height;
    uint32_t fullScreen;
    float physicalScreenRatio;
    uint32_t multisample;
    uint32_t formFactor;
    float screenDiagonalInches;

    DisplaySettings() { Reset(); }
    void Reset();
};

// Reads "Velmar.cfg" of the folder; false when it cannot be opened. Fields a short file does not
// provide keep their defaults.
bool ReadDisplaySettings(const char* folder, DisplaySettings& settings);
// The same over the file's bytes.
void ParseDisplaySettings(const uint8_t* data, size_t size, DisplaySettings& settings);
// The simulator's options for the settings, each with a leading space.
std::string BuildSimulatorArguments(const DisplaySettings& settings);
// Starts <folder>/bin/velmar with the settings' options followed by the extra text; without settings
// they are read from the folder's "Velmar.cfg" (false when that fails).
bool LaunchSimulator(const char* installationFolder, const char* extraArguments, const DisplaySettings* settings);
