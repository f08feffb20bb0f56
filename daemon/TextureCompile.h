#pragma once
// Textures compiled as assets are installed. A folder install (requests 39 and 41) and a commit (34) of an
// asset whose folder holds texture descriptions ("x.texture.txt") install a copy whose descriptions the
// command host's texture-convert job has compiled for the default targets ("x.texture" beside each).
//
// The copies are made in a staging folder of the cache ("textures-<pid>-<n>.staging") before the database
// lock is taken, and one job compiles the copies of a whole request. The installed copy then takes their
// files (a second name, not a copy), so it appears whole, compiled textures and all, at the install's commit
// point: a kill at any moment leaves the old installed copy or the new one, and a staging folder that the
// next start removes. A texture that does not compile is a warning about its asset, which is installed all
// the same (validation names the texture); when the job cannot run at all, the asset is installed from its
// own folder with a warning.
#include "core/KUID.h"
#include "core/SetAsideNote.h"
#include "daemon/DaemonResults.h"
#include "daemon/DaemonRoot.h"
#include "daemon/TakenFolder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RequestContext;

// The texture descriptions below a folder, as paths relative to it (links are not followed). A description a
// conversion cut short left under its temporary name is listed by the name it gets back (core/SetAsideNote.h) when
// that is free: the job gives it back.
std::vector<std::string> ListTextureDescriptions(const std::string& folder);

// In a copy about to be installed: each of `descriptions` (as ListTextureDescriptions listed them in the folder
// copied; empty where a texture job converted the copy) that a conversion cut short left under its temporary name
// gets that name back, never over a file, so that the copy installed holds it as a description; then no note is left
// in the copy (LeaveOutSetAsideNotes). Returns those given back: their temporary names as paths relative to the
// copy, and their own.
std::vector<LeftAside> GiveBackSetAsideDescriptions(const std::string& copy,
                                                    const std::vector<std::string>& descriptions);
// Removes from every folder of the copy `copy` the notes of descriptions set aside (core/SetAsideNote.h: whole or
// torn, and empty files of a note's name), which are never installed or packed; a user's file of such a name stays.
void LeaveOutSetAsideNotes(const std::string& copy);
// A warning about asset `kuid` that the description `aside` (a path where its user has it) has its name `own` back.
void PostDescriptionGivenBack(DaemonResults* results, const KUID& kuid, const std::string& aside,
                              const std::string& own);

// Runs the texture-convert job over `folder` for the default targets. False with the reason when the job
// could not run; otherwise the host's results are in `results` (as it posted them) and its answer (2: every
// texture converted) in `answer`.
using TextureCompileFn =
    std::function<bool(const std::string& folder, DaemonResults& results, uint32_t& answer, std::string& why)>;

// The job for the command host of the daemon that serves `c`. A request the command host makes itself gets
// none (the host would wait on itself): it compiles its textures before it asks.
TextureCompileFn CommandHostTextureCompiler(RequestContext& c);

// The copies of one request's assets whose textures are compiled, and the staging folder that holds them.
class TextureStaging
{
public:
    TextureStaging(const DaemonRoot& root, TextureCompileFn compile) : root_(root), compile_(std::move(compile)) {}
    ~TextureStaging();  // removes the staging folder
    TextureStaging(const TextureStaging&) = delete;
    TextureStaging& operator=(const TextureStaging&) = delete;

    bool Enabled() const { return static_cast<bool>(compile_); }
    // The folder of asset `kuid` with the descriptions `descriptions` (ListTextureDescriptions) gets a slot.
    // `shownAs`: the path the job's findings name the folder by, when not its own (an edit folder a commit took
    // aside is named where its user had it).
    size_t Add(const std::string& folder, const KUID& kuid, std::vector<std::string> descriptions,
               const std::string& shownAs = {});
    // Copies a slot's folder into the staging folder (different slots may be copied side by side). With
    // `link` the copy's files are second names of the folder's, which nothing writes any more.
    void Copy(size_t slot, bool link);
    // One job over every copy. Its findings become warnings about their assets, the copies' paths shown as
    // the folders they were copied from (except the files the job writes, which only the copy holds).
    void Compile(DaemonResults* results);

    // After Compile: whether the slot's copy was compiled and is to be installed (else the folder itself is).
    bool Compiled(size_t slot) const { return slots_[slot].compiled; }
    const std::string& CopyOf(size_t slot) const { return slots_[slot].copy; }
    // Once the slot's asset is installed from its copy: a warning that some of its textures were not compiled,
    // when the job said so (never before the install, which may yet fail).
    void PostIncomplete(size_t slot, DaemonResults* results) const;
    // The links and special files the copy left out (paths in the original folder).
    std::vector<std::string>& LeftOut(size_t slot) { return slots_[slot].leftOut; }
    // What the copy read of the folder (TakenFolder.h): once the copy is installed, what of the folder may go.
    TakenRecord& Copied(size_t slot) { return slots_[slot].record; }

private:
    struct Slot
    {
        std::string folder;
        std::string shownAs;
        KUID kuid;
        std::vector<std::string> descriptions;
        std::string copy;
        std::string copyError;
        std::vector<std::string> leftOut;
        TakenRecord record;  // what the copy read
        bool copied = false;
        bool compiled = false;
        bool findings = false;
        bool incomplete = false;  // the job's findings name textures of this copy that were not compiled
    };
    // The copies' parent, made on first use; empty when it cannot be made.
    const std::string& Folder();
    // The text with a copy's path shown as its folder's; `slot` gets the copy named (unchanged when none).
    std::string ShowOriginal(const std::string& text, size_t& slot);

    DaemonRoot root_;
    TextureCompileFn compile_;
    std::string folder_;
    bool folderTried_ = false;
    std::vector<Slot> slots_;
};
