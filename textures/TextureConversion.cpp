#include "textures/TextureConversion.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResourceDatabaseTable.h"
#include "assetdb/ResultsLog.h"
#include "core/InterfaceTextDB.h"
#include "core/PathHelpers.h"
#include "core/SetAsideNote.h"
#include "core/TCXCallback.h"
#include "core/TextHelpers.h"
#include "core/VelmarWorker.h"
#include "core/VelmarWorkerCallChain.h"
#include "engine/AsciiTextureResource.h"
#include "engine/AutoReference.h"
#include "engine/Exception.h"
#include "engine/File.h"
#include "engine/FileFind.h"
#include "engine/Options.h"
#include "engine/Resource.h"
#include "engine/ResourceDatabase.h"
#include "engine/ResourceSystem.h"
#include "engine/ResourceTypeBase.h"
#include "engine/TextCase.h"
#include "textures/CompressAsciiResource.h"
#include "textures/ConversionInputs.h"
#include "textures/DescriptionsAside.h"
#include "textures/TextureStamp.h"
#include "textures/TextureTargets.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>

namespace {

// Records started and not yet waited for: enough that every worker finds the next record queued when it
// is done with one. Only the records on a worker hold decoded images.
size_t RecordWindow() { return std::max<size_t>(8, size_t(VelmarWorker::ThreadCount()) * 2 + 4); }

TDBTagRef Params(std::initializer_list<std::pair<const char*, std::string>> values)
{
    TDBTagRef params = TDBTagRef::NewContainer();
    for (const auto& [key, value] : values) params.SetChildString(key, value);
    return params;
}

// The temporary names the descriptions of one batch are converted under (in lower case, since names that differ
// only in case are one texture's), each with the description that has it: no second description takes one.
using TempNames = std::map<std::string, std::string>;

// One description's conversion.
class VADTextureConvertFileRPC
{
public:
    VADTextureConvertFileRPC() = default;
    VADTextureConvertFileRPC(const VADTextureConvertFileRPC&) = delete;
    VADTextureConvertFileRPC& operator=(const VADTextureConvertFileRPC&) = delete;
    ~VADTextureConvertFileRPC()
    {
        chain_.WaitForCompletion();
        for (TCXCallback* c : steps_) c->Release();
        // A conversion cut short before its write step still gives the description its own name back, and
        // lets go of what its load step took.
        ReleaseStep(nullptr);
        PutBack();
        HandOnResults();
    }

    // The results are kept by the record until Wait hands them on whole, so that the messages of textures
    // converted side by side do not interleave.
    // With `keepCurrent` a compiled texture whose stamp is that of its description as it stands is kept.
    // `tempNames` are those of the batch so far.
    void Start(const std::string& fullPath, const PStringArray& targets, ResultsLog& log, bool keepCurrent,
               TempNames& tempNames)
    {
        fullPath_ = fullPath;
        keepCurrent_ = keepCurrent;
        CopyTextureTargetList(targets_, targets);
        shared_ = &log;
        log_ = &own_;
        success_ = Prepare(tempNames);
        // The steps are queued after a failed preparation too; each does nothing then.
        steps_ = {
            TCXCallbackCPPVoidPtr<VADTextureConvertFileRPC>::Create(this, &VADTextureConvertFileRPC::LoadStep),
            TCXCallbackCPPVoidPtr<VADTextureConvertFileRPC>::Create(this, &VADTextureConvertFileRPC::WriteStep),
            TCXCallbackCPPVoidPtr<VADTextureConvertFileRPC>::Create(this, &VADTextureConvertFileRPC::ReleaseStep)};
        // Loading (decoding the images) and writing run back to back on one worker, so that the main
        // thread never holds up the workers; the release comes back to the main thread.
        chain_.Add(steps_[0], VelmarWorker::kWorkerThread);
        chain_.Add(steps_[1], VelmarWorker::kWorkerThread | VelmarWorker::kRunInline);
        chain_.Add(steps_[2], VelmarWorker::kMainThread);
        chain_.Start();
    }

    // Waits for the steps; true when the texture was converted.
    bool Wait()
    {
        chain_.WaitForCompletion();
        HandOnResults();
        return success_ && !chain_.EndedEarly();
    }
    bool EndedEarly() const { return chain_.EndedEarly(); }
    const VelmarWorkerCallChain& Chain() const { return chain_; }
    const std::string& GetFullPath() const { return fullPath_; }

private:
    void HandOnResults()
    {
        if (shared_ && own_.GetResultCount() != 0) shared_->Append(own_);
        own_.Clear();
    }
    void PostError(std::string_view text, const TDBTagRef& params = TDBTagRef())
    {
        log_->PostResult(kResultError, text, params);
        success_ = false;
    }
    void PostKeyed(const char* key, bool withFile)
    {
        const std::string text(GetInterfaceString(key).View());
        PostError(text, withFile ? Params({{"file_name", fullPath_}, {"archive", source_.str()}})
                                 : Params({{"archive", source_.str()}}));
    }
    void PostReason(const std::string& reason)
    {
        if (!reason.empty()) log_->PostResult(kResultMessage, reason);
    }

    void PostRenameError(const std::string& file, const std::string& reason)
    {
        PostError("Unable to rename file '$(FILE_NAME)' in subst '$(ARCHIVE)'",
                  Params({{"file_name", file}, {"archive", source_.str()}}));
        PostReason(reason);
    }

    bool Prepare(TempNames& tempNames)
    {
        Orvo::File::Path relative(fullPath_);
        if (!SplitContentPath(relative, source_))
        {
            PostError("Unable to determine relative path for '$(FILE_NAME)'", Params({{"file_name", fullPath_}}));
            return false;
        }
        held_.AcquireForSource(source_.View());
        ownPath_ = relative.str();
        folder_ = GetContentFolder(source_.View()).str();
        // x.texture.txt is compiled to x.texture, and loaded meanwhile under x.convert-tex.txt.
        outputPath_ = Orvo::File::Path(relative).DelExt().str();
        tempPath_ = Orvo::File::Path(relative).DelExt().SetExt("convert-tex.txt").str();
        // Two descriptions whose names differ only in case would be loaded under one temporary name and
        // compiled to one texture: the first is converted, the second fails.
        const std::string tempFull = JoinBasePath(folder_, tempPath_);
        const size_t nameAt = tempFull.find_last_of("/\\") + 1;
        std::string key = tempFull.substr(nameAt);
        Orvo::LowerInPlace(key);
        const auto [claimed, fresh] = tempNames.emplace(tempFull.substr(0, nameAt) + key, fullPath_);
        if (!fresh)
        {
            PostRenameError(fullPath_, QuotedFileName(claimed->second) + " is converted under the same name, " +
                                           QuotedFileName(tempPath_) +
                                           ": names that differ only in case are one texture's");
            return false;
        }
        hasStamp_ = ComputeTextureStamp(fullPath_, targets_, kBatchTextureOptions, stamp_);
        uint64_t compiled = 0;
        if (keepCurrent_ && hasStamp_ && ReadTextureStamp(JoinBasePath(folder_, outputPath_), compiled) &&
            compiled == stamp_)
        {
            current_ = true;
            return true;
        }
        // Never over a file of that name: the description stays as it is, and so does that file. The
        // process's registry knows it is aside until it has its name back.
        int error = 0;
        std::string why;
        if (!DescriptionsAside::Process().SetAside(folder_, ownPath_, tempPath_, error, &why))
        {
            PostRenameError(fullPath_, why);
            return false;
        }
        aside_ = true;
        return true;
    }

    // Gives the description its own name back, unless something has taken that name meanwhile: then the
    // description stays under the temporary name, and that is said.
    void PutBack()
    {
        if (!aside_) return;
        aside_ = false;
        int error = 0;
        if (!DescriptionsAside::Process().GiveBack(folder_, ownPath_, tempPath_, error))
            PostRenameError(JoinBasePath(folder_, tempPath_), RenameFailureText(tempPath_, ownPath_, error));
    }

    bool LoadStep(void*)
    {
        if (current_) return true;
        if (!success_) return false;
        try
        {
            if (held_.Get() == nullptr)
            {
                PostKeyed("$vadtexture_invalid_subst", false);
                return false;
            }
            // The resource is looked up through a database of this record's own, so that it is made afresh
            // for this conversion and leaves the resource system's cache when the record lets it go.
            const std::string name = JoinBasePath(folder_, Orvo::File::Path(tempPath_).DelExt().str());
            RegisterTextureResourceTypes();
            // The record's own resource system, which the database resolves through.
            localSystem_ = std::make_unique<Orvo::ResourceSystem>();
            database_ = std::make_unique<Orvo::ResourceDatabase>(Orvo::PString(), localSystem_.get());
            Orvo::Resource* made = database_->Get(name, Orvo::ResourceSystem::GetNoLoad);
            if (made == nullptr)
            {
                PostKeyed("$vadtexture_open_error", true);
                return false;
            }
            resource_ = made;
            made->Release();
            texture_ = dynamic_cast<CompressAsciiResource*>(resource_.Get());
            if (texture_ == nullptr)
            {
                PostKeyed("$vadtexture_incorrect_resource", true);
                return false;
            }
            options_.ProcessRaw(kBatchTextureOptions);
            if (hasStamp_) texture_->SetSourceStamp(stamp_);
            texture_->SetTargets(targets_);
            texture_->SetOptions(&options_);
            if (texture_->Lock() != Orvo::Resource::LoadOk)
            {
                PostKeyed("$vadtexture_load_error", true);
                PostReason(texture_->GetLoadError());
                return false;
            }
            if (!texture_->LockBaseMips())
            {
                PostKeyed("$vadtexture_lock_error", true);
                PostReason(texture_->GetLoadError());
                return false;
            }
            locked_ = true;
            return true;
        }
        catch (const std::exception& e)
        {
            PostError("Exception '$(ERROR)' thrown while processing '$(FILE_NAME)'",
                      Params({{"error", e.what()}, {"file_name", fullPath_}}));
            return false;
        }
    }

    bool WriteStep(void*)
    {
        const std::string output = JoinBasePath(folder_, outputPath_);
        try
        {
            if (locked_ && success_ && !texture_->WriteCompressedFile("", output))
            {
                PostError("Unable to write output file '$(FILE_NAME)'", Params({{"file_name", output}}));
                PostReason(texture_->GetCompressError());
            }
        }
        catch (const std::exception& e)
        {
            PostError("Exception '$(ERROR)' thrown while processing '$(FILE_NAME)'",
                      Params({{"error", e.what()}, {"file_name", output}}));
        }
        // The description gets its own name back whatever happened.
        PutBack();
        return success_;
    }

    bool ReleaseStep(void*)
    {
        if (locked_) texture_->GetMipUnlock();
        locked_ = false;
        if (resource_) resource_->Unlock();
        texture_ = nullptr;
        resource_ = nullptr;
        // Destroying the record's database drops its resources from the resource system's cache.
        database_.reset();
        localSystem_.reset();
        return true;
    }

    std::string fullPath_;
    Orvo::PString source_;
    PStringArray targets_;
    ResultsLog* log_ = nullptr;
    ResultsLog own_;
    ResultsLog* shared_ = nullptr;
    bool success_ = true;
    bool keepCurrent_ = false;
    bool current_ = false;  // the compiled texture is current: nothing is done
    bool hasStamp_ = false;
    uint64_t stamp_ = 0;
    VelmarWorkerCallChain chain_;
    std::vector<TCXCallback*> steps_;
    ResourceDatabaseHolder held_;
    std::unique_ptr<Orvo::ResourceSystem> localSystem_;
    std::unique_ptr<Orvo::ResourceDatabase> database_;
    Orvo::AutoReference<Orvo::Resource> resource_;
    CompressAsciiResource* texture_ = nullptr;
    bool locked_ = false;
    bool aside_ = false;
    std::string folder_;
    std::string ownPath_;
    std::string tempPath_;
    std::string outputPath_;
    Orvo::Options options_;
};

// A description found by the walk and the pixels of its primary image (0 when unknown).
struct Found
{
    std::string path;
    uint64_t pixels;
};

struct Batch
{
    const PStringArray& targets;
    ResultsLog& log;
    bool keepCurrent;
    std::vector<Found> found;
    std::vector<std::unique_ptr<VADTextureConvertFileRPC>> running;
    TempNames tempNames;
    bool success = true;
    bool endedEarly = false;

    // Waits for any running record to finish (they finish in any order) and takes its result.
    void WaitAny()
    {
        std::vector<const VelmarWorkerCallChain*> chains;
        chains.reserve(running.size());
        for (const auto& record : running) chains.push_back(&record->Chain());
        const size_t i = VelmarWorkerCallChain::WaitForAny(chains.data(), chains.size());
        std::unique_ptr<VADTextureConvertFileRPC> record = std::move(running[i]);
        running.erase(running.begin() + ptrdiff_t(i));
        if (!record->Wait()) success = false;
        if (record->EndedEarly())
        {
            endedEarly = true;
            log.PostResultF(kResultError, "%s (%s)", GetInterfaceString("$vad_texture_compress_err").c_str(),
                            record->GetFullPath().c_str());
        }
    }

    // Finds every description below the folder; false when the folder cannot be searched.
    void Walk(const Orvo::File::Path& folder)
    {
        Orvo::File::Find find;
        if (!find.Open(Orvo::File::Path(folder).AddPath("*").str()))
        {
            log.PostResult(kResultError, "Unable to search path: '$(FILE_NAME)'",
                           Params({{"file_name", folder.str()}}));
            success = false;
            return;
        }
        std::vector<std::string> files;
        for (const auto& entry : find)
        {
            const Orvo::File::Path path = Orvo::File::Path(folder).AddPath(entry.name);
            if (entry.isFolder)
            {
                Walk(path);
                continue;
            }
            files.push_back(entry.name);
            if (IsTextureTxtName(entry.name)) Add(path);
        }
        // Once the folder is listed, so that a name given back is not found a second time.
        GiveBackLeftAside(folder, files);
    }

    void Add(const Orvo::File::Path& description)
    {
        uint32_t width = 0, height = 0;
        Orvo::AsciiTextureResource::ReadPrimarySize(description.str(), width, height);
        found.push_back({description.str(), uint64_t(width) * height});
    }

    // A description that a conversion cut short (a process killed) left under its temporary name gets back exactly
    // the name it had (core/SetAsideNote.h says how it is recognised), never over a file, and is converted with the
    // others; that is said. Where that name is taken meanwhile, the batch fails with the reason and it stays. The
    // folder's notes that name nothing go. `files`: the names in the folder other than folders.
    void GiveBackLeftAside(const Orvo::File::Path& folder, const std::vector<std::string>& files)
    {
        for (const LeftAside& left : FindLeftAside(folder.str(), files))
        {
            const std::string aside = Orvo::File::Path(folder).AddPath(left.aside).str();
            int error = 0;
            if (!::GiveBackLeftAside(folder.str(), left, error))
            {
                log.PostResult(kResultError,
                               "The texture description '$(FILE_NAME)', left under that name by a conversion that was "
                               "cut short, could not have its own name back",
                               Params({{"file_name", aside}}));
                log.PostResult(kResultMessage, RenameFailureText(left.aside, left.own, error));
                success = false;
                continue;
            }
            log.PostResult(kResultWarning, kSetAsideDescriptionGivenBack,
                           Params({{"file_name", aside}, {"own_name", QuotedFileName(left.own)}}));
            Add(Orvo::File::Path(folder).AddPath(left.own));
        }
        RemoveStaleSetAsideNotes(folder.str(), files);
    }

    // Keeps every file the batch reads from its outputs before any is written. A description whose compiled
    // texture would be written over one of them, or over another description's, fails here and is not converted;
    // a tree with more files than can be kept is not converted at all.
    void KeepInputs(ConversionInputs& inputs, const Orvo::File::Path& root)
    {
        std::vector<std::string> descriptions;
        descriptions.reserve(found.size());
        for (const Found& f : found) descriptions.push_back(f.path);
        std::string why;
        if (!inputs.Keep(descriptions, why))
        {
            log.PostResult(kResultError, "Unable to convert the textures below '$(FILE_NAME)'",
                           Params({{"file_name", root.str()}}));
            log.PostResult(kResultMessage, why);
            success = false;
            found.clear();
            return;
        }
        std::vector<Found> converted;
        converted.reserve(found.size());
        for (Found& f : found)
        {
            const std::string refused = inputs.RefusedOutput(f.path);
            if (refused.empty())
            {
                converted.push_back(std::move(f));
                continue;
            }
            log.PostResult(kResultError, "Unable to write output file '$(FILE_NAME)'",
                           Params({{"file_name", Orvo::File::Path(f.path).DelExt().str()}}));
            log.PostResult(kResultMessage, "the file cannot be written: " + refused);
            success = false;
        }
        found = std::move(converted);
    }

    // Starts a record for every description, the largest images first: a large texture started last would
    // leave the other workers idle while it alone runs to its end.
    void Run()
    {
        std::stable_sort(found.begin(), found.end(),
                         [](const Found& a, const Found& b) { return a.pixels > b.pixels; });
        for (const Found& f : found)
        {
            while (running.size() >= RecordWindow()) WaitAny();
            auto record = std::make_unique<VADTextureConvertFileRPC>();
            record->Start(f.path, targets, log, keepCurrent, tempNames);
            running.push_back(std::move(record));
        }
        // Every record is waited for, also after one ended early: none may outlive the log it posts to.
        while (!running.empty()) WaitAny();
    }
};

}  // namespace

uint32_t ConvertTexturesInPath(std::string_view sourceName, const Orvo::File::Path& folder, const PStringArray& targets,
                               ResultsLog& log, bool keepCurrent)
{
    // With a source name the folder is a path inside that content source.
    Orvo::File::Path root = folder;
    if (!sourceName.empty() && !root.IsAbsolute())
        root = Orvo::File::Path(GetContentFolder(sourceName)).AddPath(folder.View());
    root.Normalise();
    Batch batch{targets, log, keepCurrent, {}, {}, {}};
    batch.Walk(root);
    ConversionInputs inputs;  // kept until every record is done
    batch.KeepInputs(inputs, root);
    batch.Run();
    if (batch.endedEarly) return kTexturesEndedEarly;
    return batch.success ? kTexturesConverted : kTexturesFailed;
}

uint32_t ConvertArchiveTextures(std::string_view sourceName, const Orvo::File::Path& folder,
                                const PStringArray& targets, ResultsLog& log)
{
    return ConvertTexturesInPath(sourceName, folder, targets, log);
}
