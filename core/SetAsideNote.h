#pragma once
// Texture descriptions set aside on disk. While a description "x.texture.txt" (that ending in any case) is compiled
// it is named "x.convert-tex.txt"; a process killed in that moment leaves it so. Its exact own name is written first
// into a note beside it, ".x.convert-tex.txt.own-name", which goes once the description has that name back.
//
// The note is a file of the folder, so it travels with every copy of the folder (an install's or a commit's staging
// copy, a package, a copy the user makes), and it needs nothing of the file system but what the rename itself needs:
// an extended attribute would not do on FAT or an older tmpfs, nor on a description that is a symbolic link, and
// would not survive the daemon's copies. It also says what the description was (a file's size and bytes, or a link's
// target), so that a note whose file the user has since replaced names nothing, and that file is not renamed.
//
// The order keeps every moment safe: the note is written before the rename away and removed after the rename back.
// A kill between the two leaves a note whose description is not aside as it says: such a note names nothing, and
// goes when the tool next converts the folder. A note is made whole under its name or not at all (written, then
// named: platform/FileWriting.h WriteNewFileWhole), so a kill never leaves part of one; an empty file of a note's
// name, or one that starts as a note does but does not read as one (an earlier version wrote notes in place), names
// nothing either and goes the same way. A file of a note's name that holds anything else is the user's: it is never
// removed, and the description beside it is not set aside (the failure names that file). No note is installed:
// an install's or a commit's copy leaves out every note of this form and every empty file of a note's name.
//
// A file of a temporary name without a note (one an earlier version, which wrote none, left aside): "x.convert-tex.txt"
// is given back as "x.texture.txt" only where no file of the folder has that name in any case (a description of that
// stem keeps such a file beside it as it is) and the file reads as a texture description, naming a primary image.
// Anything else is never renamed.
#include <string>
#include <vector>

// The note's name for the temporary name `aside` (a bare name).
std::string SetAsideNoteName(const std::string& aside);

// Writes the note for the description `own` of `folder` (bare names), before it is renamed to `aside`. What stands
// under the note's name already goes first when it names nothing (a note of this form whose description is not
// aside as noted, a torn one, an empty file); anything else there fails with EEXIST. False with the errno in
// `error`, and in `why` a line naming the note's file when that file is what stands in the way (a file of the
// user's under its name, a note that cannot be written); `why` stays empty when a description aside under `aside`,
// which a note there names, is in the way, or `own` cannot be read.
bool WriteSetAsideNote(const std::string& folder, const std::string& own, const std::string& aside, int& error,
                       std::string* why = nullptr);
// Removes the note of `aside` in `folder`, when it is one of this form (whole or torn) or an empty file.
void RemoveSetAsideNote(const std::string& folder, const std::string& aside);
// Removes the file `name` of `folder` when it has a note's name and is a note of this form (whole or torn) or an
// empty file: for a copy that is to be installed, after the descriptions its notes name have their names back. A
// file of that name with anything else in it is the user's and stays. True when it was removed.
bool LeaveOutSetAsideNote(const std::string& folder, const std::string& name);

// A description left aside (bare names) and the name it gets back.
struct LeftAside
{
    std::string aside;
    std::string own;
};
// The descriptions a conversion cut short left aside in `folder`, whose entries other than folders are `names`
// (bare names, as listed; links count as the files they are). Reads only.
std::vector<LeftAside> FindLeftAside(const std::string& folder, const std::vector<std::string>& names);
// Gives a description left aside its own name back, never over anything, and then removes its note. False with the
// errno in `error`: it then stays aside, with its note.
bool GiveBackLeftAside(const std::string& folder, const LeftAside& left, int& error);
// Removes the notes among `names` (the entries of `folder`) that name nothing: those whose description is not aside
// as noted, torn ones, and empty files of a note's name.
void RemoveStaleSetAsideNotes(const std::string& folder, const std::vector<std::string>& names);
