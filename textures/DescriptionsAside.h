#pragma once
// The texture descriptions a conversion has set aside. While "x.texture.txt" is compiled it is loaded under
// "x.convert-tex.txt"; both renames go through a registry, so that the process knows at every moment which
// descriptions are aside. A signal that ends the tool gives them their own names back before the process ends
// (GiveBackAll, on the console handler's thread), whatever the conversions on the worker threads are doing: a
// rename and its entry are made under one lock, and once GiveBackAll ran nothing more is set aside. For a process
// killed meanwhile, each description's exact own name is also noted on disk beside it (core/SetAsideNote.h).
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class DescriptionsAside
{
public:
    // Renames `own` to `temp` (both relative to `folder`, in one folder), never over a file, and notes it, in
    // memory and on disk. False with the errno in `error`; ECANCELED once GiveBackAll ran (the process is ending).
    // `why` gets a line saying why, naming the file that stands in the way (the note's, or `temp`).
    bool SetAside(const std::string& folder, const std::string& own, const std::string& temp, int& error,
                  std::string* why = nullptr);
    // Renames a description set aside here back to `own`, never over a file, and forgets it. True when it has its
    // name back, or when GiveBackAll took it over; false with the errno in `error` (it stays under `temp`, its note
    // on disk kept).
    bool GiveBack(const std::string& folder, const std::string& own, const std::string& temp, int& error);
    // Gives every description aside its own name back and refuses to set aside any more. Returns a line for each
    // one that could not have its name back (its own name was taken meanwhile), saying where it stays.
    std::string GiveBackAll();

    // The registry of the process's conversions.
    static DescriptionsAside& Process();

private:
    struct Entry
    {
        std::string folder, own, temp;
    };
    std::mutex mutex_;
    std::vector<Entry> aside_;
    bool ending_ = false;
};

// What the tool's handlers of the signals that end it call: every description the process set aside gets its
// name back (DescriptionsAside::Process().GiveBackAll()).
std::string GiveBackSetAsideDescriptions();

// The last name of a path, in quotes.
std::string QuotedFileName(std::string_view path);
// Why renaming `from` to `to` failed, as a message line: "'to' already exists", or the system's reason.
std::string RenameFailureText(const std::string& from, const std::string& to, int error);
