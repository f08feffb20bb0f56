#include "script/compiler/GSCompiler.h"

#include "core/Crc32.h"
#include "engine/TextCase.h"
#include "script/compiler/GSScriptFile.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

struct GSCompiler::Unit
{
    fs::path canonical;
    std::string display;  // the name errors are reported under
    std::string text;     // the tokens point into it, so a unit never moves once checked
    uint32_t crc = 0;
    GSSourceCheckResult check;
};

GSCompiler::GSCompiler(GSDiagnostics& diag) : diag_(diag) {}
GSCompiler::~GSCompiler() = default;

namespace {

fs::path Canonical(const fs::path& p)
{
    std::error_code ec;
    fs::path c = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : c;
}

bool IsFile(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

std::string Lower(std::string s)
{
    Orvo::LowerInPlace(s);
    return s;
}

// The file `rel` below `folder` (or `rel` itself when absolute). Where a component is missing, one that
// differs only in case is taken, since script sources are often written on case-blind file systems.
bool FindFile(const fs::path& folder, const fs::path& rel, fs::path* found)
{
    fs::path exact = folder / rel;
    if (IsFile(exact))
    {
        *found = exact;
        return true;
    }
    std::error_code ec;
    fs::path at = rel.is_absolute() ? rel.root_path() : folder;
    for (const fs::path& part : rel.relative_path())
    {
        if (part == "." || part.empty()) continue;
        fs::path next = (at.empty() ? fs::path(".") : at) / part;
        if (part == ".." || fs::exists(next, ec))
        {
            at = at / part;
            continue;
        }
        std::string want = Lower(part.string());
        bool matched = false;
        for (fs::directory_iterator it(at.empty() ? fs::path(".") : at, ec), endIt; !ec && it != endIt;
             it.increment(ec))
        {
            if (Lower(it->path().filename().string()) == want)
            {
                at = at / it->path().filename();
                matched = true;
                break;
            }
        }
        if (!matched) return false;
    }
    if (!IsFile(at)) return false;
    *found = at;
    return true;
}

}  // namespace

bool GSCompiler::Compile(const std::string& sourcePath)
{
    units_.clear();
    done_.clear();
    read_.assign(1, Platform::FileIdentity::OfPath(sourcePath));
    totalSource_ = 0;
    size_t before = diag_.Count();
    std::vector<Unit*> stack;
    CompileUnit(sourcePath, sourcePath, stack, sourcePath, 0);
    return diag_.Count() == before;
}

bool GSCompiler::Resolve(const std::string& name, const Unit& from, fs::path* found, std::string* display) const
{
    // Scripts written on Windows may name their includes with backslashes.
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    fs::path rel(slashed);
    std::vector<std::pair<fs::path, fs::path>> folders;  // (folder on disk, folder as displayed)
    if (rel.is_absolute())
    {
        folders.emplace_back(fs::path(), fs::path());
    }
    else
    {
        folders.emplace_back(from.canonical.parent_path(), fs::path(from.display).parent_path());
        for (const std::string& inc : includePaths_) folders.emplace_back(inc, inc);
    }
    for (const auto& [folder, shown] : folders)
    {
        // A distributed script may ship only in its encoded form.
        std::vector<fs::path> names = {rel};
        if (rel.extension() == ".gs") names.push_back(fs::path(rel.string() + "e"));
        for (const fs::path& n : names)
        {
            if (FindFile(folder, n, found))
            {
                *display = folder.empty() ? found->string()
                                          : (shown / found->lexically_relative(folder)).lexically_normal().string();
                return true;
            }
        }
    }
    return false;
}

bool GSCompiler::CompileUnit(const fs::path& path, const std::string& display, std::vector<Unit*>& stack,
                             const std::string& fromFile, uint32_t fromLine)
{
    auto unit = std::make_unique<Unit>();
    unit->canonical = Canonical(path);
    unit->display = display;

    GSScriptFile file;
    if (!file.Load("", path.string()))
    {
        if (stack.empty())
            diag_.Error(display, 0, "cannot load source file: " + file.LastError());
        else
            diag_.Error(fromFile, fromLine, "cannot load include file '" + display + "': " + file.LastError());
        return false;
    }
    read_.push_back(file.Identity());
    if (file.Text().size() > kMaxTotalSource - totalSource_)
    {
        diag_.Error(fromFile, fromLine,
                    "sources add up to more than " + std::to_string(kMaxTotalSource >> 20) + " MiB");
        return false;
    }
    unit->text = file.Text();
    totalSource_ += unit->text.size();
    unit->crc = Crc32(unit->text.data(), unit->text.size());

    // A UTF-8 byte order mark is not part of the text the scanner sees.
    std::string_view body(unit->text);
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    unit->check = CheckGSSource(unit->display, body, diag_);
    done_.insert(unit->canonical);

    stack.push_back(unit.get());
    bool ok = unit->check.ok;
    for (const GSIncludeRequest& inc : unit->check.includes)
    {
        fs::path found;
        std::string shown;
        if (inc.name.empty() || inc.name.find('\0') != std::string::npos || inc.name.size() > kGslMaxName)
        {
            diag_.Error(unit->display, inc.line, "invalid include file name");
            ok = false;
            continue;
        }
        if (!Resolve(inc.name, *unit, &found, &shown))
        {
            diag_.Error(unit->display, inc.line, "cannot find include file '" + inc.name + "'");
            ok = false;
            continue;
        }
        fs::path canon = Canonical(found);
        bool inCycle = false;
        std::string chain;
        for (const Unit* u : stack)
        {
            if (u->canonical == canon) inCycle = true;
            if (inCycle) chain += u->display + " -> ";
        }
        if (inCycle)
        {
            diag_.Error(unit->display, inc.line, "include cycle: " + chain + shown);
            ok = false;
            continue;
        }
        if (done_.count(canon)) continue;
        if (stack.size() >= kMaxIncludeDepth)
        {
            diag_.Error(unit->display, inc.line,
                        "includes nested deeper than " + std::to_string(kMaxIncludeDepth) + " levels");
            ok = false;
            continue;
        }
        // Finished units plus those in progress (the source among them) plus this one, less the source.
        if (units_.size() + stack.size() > kGslMaxIncludes)
        {
            diag_.Error(unit->display, inc.line, "more than " + std::to_string(kGslMaxIncludes) + " include files");
            ok = false;
            continue;
        }
        ok = CompileUnit(found, shown, stack, unit->display, inc.line) && ok;
    }
    stack.pop_back();
    units_.push_back(std::move(unit));
    return ok;
}

std::string GSCompiler::LibraryBytes() const
{
    if (units_.empty()) return {};
    const Unit& main = *units_.back();
    fs::path mainFolder = fs::path(main.display).parent_path();
    std::vector<GSLibraryInclude> includes;
    for (size_t i = 0; i + 1 < units_.size(); ++i)
    {
        fs::path rel = fs::path(units_[i]->display).lexically_relative(mainFolder);
        includes.push_back({rel.empty() ? units_[i]->display : rel.string(), units_[i]->crc});
    }
    GSLibraryWriter w(fs::path(main.display).filename().string(), main.crc, includes);
    size_t tokens = 0, textBytes = 0;
    for (const auto& u : units_)
    {
        tokens += u->check.tokens.size();
        textBytes += u->text.size();
    }
    w.Reserve(tokens, textBytes);
    // The source is unit 0, include i is unit i + 1; units_ holds the source last.
    for (size_t i = 0; i < units_.size(); ++i)
    {
        uint16_t unit = static_cast<uint16_t>(i + 1 == units_.size() ? 0 : i + 1);
        for (const GSToken& t : units_[i]->check.tokens) w.AddToken(t.kind, unit, t.line, t.text);
    }
    return w.Finish();
}

std::string GSCompiler::LibraryPath(const std::string& sourcePath, const std::string& outputFolder,
                                    const std::string& outputFile)
{
    if (!outputFile.empty())
    {
        fs::path f(outputFile);
        if (!outputFolder.empty() && f.is_relative()) return (fs::path(outputFolder) / f).string();
        return outputFile;
    }
    fs::path name = fs::path(sourcePath).filename();
    name.replace_extension(".gsl");
    if (!outputFolder.empty()) return (fs::path(outputFolder) / name).string();
    return (fs::path(sourcePath).parent_path() / name).string();
}
