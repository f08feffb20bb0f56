#include "script/compiler/GSFileIO.h"

#include "platform/RegularFile.h"

bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, std::string* error,
                   Platform::FileIdentity* identity)
{
    // A name that is a FIFO or a device is refused without waiting for it.
    const char* why = nullptr;
    switch (Platform::ReadRegularFile(path, maxSize, *data, identity))
    {
    case Platform::RegularFileStatus::kOK: return true;
    case Platform::RegularFileStatus::kTooLarge:
        if (error) *error = "larger than " + std::to_string(maxSize >> 20) + " MiB";
        return false;
    case Platform::RegularFileStatus::kNotRegular: why = "not a regular file"; break;
    case Platform::RegularFileStatus::kMissing: why = "cannot open"; break;
    case Platform::RegularFileStatus::kUnreadable: why = "read failed"; break;
    }
    if (error) *error = why;
    return false;
}
