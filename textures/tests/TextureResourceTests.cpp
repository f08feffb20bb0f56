// Texture descriptions, the compressing resource and the compiled file it writes, batch conversion (and the
// descriptions it sets aside) and the auto-released display textures.
#include "textures/CompressAsciiResource.h"
#include "textures/DescriptionsAside.h"
#include "textures/TextureConversion.h"
#include "textures/TextureStamp.h"
#include "textures/TextureTargets.h"
#include "textures/VelmarTextureResource.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResourceDatabaseTable.h"
#include "assetdb/ResultsLog.h"
#include "core/CoreThreads.h"
#include "core/LogPrintf.h"
#include "core/VelmarWorker.h"
#include "engine/Display.h"
#include "engine/File.h"
#include "engine/Options.h"
#include "engine/TextureFormat.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using Orvo::Bitmap;

namespace {

// A private installation root for one test, with UserData/editing/t as the texture folder.
struct Scratch
{
    Scratch() : root((fs::temp_directory_path() / "velmar-texres-XXXXXX").string())
    {
        if (!mkdtemp(root.data())) root.clear();
        folder = root + "/UserData/editing/t/";
        fs::create_directories(folder);
        SetInstallationPath(Orvo::File::Path(root));
        // Databases of an earlier root stay in the table until purged; they would mount the old folders.
        PurgeResourceDatabases();
    }
    ~Scratch() { fs::remove_all(root); }
    void Write(const std::string& rel, const std::string& text) const { Orvo::File::WriteFile(folder + rel, text); }
    // An image with the given alpha: 0 opaque, 1 a ramp, 2 a mask.
    void Image(const std::string& rel, uint32_t w, uint32_t h, int alpha) const
    {
        Bitmap b(w, h, alpha ? Bitmap::FormatARGB32 : Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
            {
                uint8_t* p = b.Row(y) + x * 4;
                p[0] = uint8_t(x * 7), p[1] = uint8_t(y * 5), p[2] = uint8_t(x ^ y);
                p[3] = alpha == 1 ? uint8_t(x * 255 / w) : alpha == 2 ? ((x + y) % 2 ? 0 : 255) : 255;
            }
        ASSERT_TRUE(b.Save(folder + rel));
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string root, folder;
};

struct Loaded
{
    Orvo::AutoReference<CompressAsciiResource> resource;
    Orvo::Options options{kBatchTextureOptions};
};

// A compressing resource on a description file, loaded for the targets; null resource on failure.
std::unique_ptr<Loaded> Load(const std::string& description, const char* targets)
{
    auto l = std::make_unique<Loaded>();
    l->resource = Orvo::AutoReference<CompressAsciiResource>(new CompressAsciiResource(description, nullptr));
    l->resource->SetTargets(ParseTextureTargetList(targets));
    l->resource->SetOptions(&l->options);
    return l;
}

}  // namespace

TEST(TextureResourceTest, CompiledFileReadsBackIdentically)
{
    Scratch s;
    struct Case
    {
        const char* targets;
        uint32_t w, h;
        int alpha;
        uint32_t format;
        const char* extra;
    } cases[] = {
        {"velmar;dxtc", 128, 64, 1, Orvo::DFormatDXT5, ""},
        {"dxtc", 64, 64, 2, Orvo::DFormatDXT1, ""},
        {"dxtc", 16, 8, 0, Orvo::DFormatXRGB8888, ""},
        {"dxtc", 64, 64, 1, Orvo::DFormatDXT5, "MipFilter=none\n"},
        {"etc1", 24, 8, 0, Orvo::DFormatETC1, ""},
        {"atc", 64, 64, 1, Orvo::DFormatATCInterpolated, "Hint=normalmap-flipgreen\nTile=none\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.targets + std::string(" ") + std::to_string(c.format));
        s.Image("a.png", c.w, c.h, c.alpha);
        s.Write("a.texture.txt", std::string("Primary=a.png\n") + c.extra);
        auto l = Load(s.folder + "a.texture.txt", c.targets);
        ASSERT_EQ(l->resource->LoadTxt(s.folder + "a.texture.txt"), 0) << l->resource->GetLoadError();
        ASSERT_TRUE(l->resource->LockBaseMips());
        ASSERT_TRUE(l->resource->WriteCompressedFile("", s.folder + "a.texture")) << l->resource->GetCompressError();
        EXPECT_EQ(l->resource->GetTargetFormat(), c.format);

        Orvo::AutoReference<Orvo::TextureResource> back(new Orvo::TextureResource(s.folder + "a.texture", nullptr));
        ASSERT_EQ(back->Lock(), 0);
        EXPECT_EQ(back->GetTargetFormat(), c.format);
        ASSERT_EQ(back->GetNumMipLevels(), l->resource->GetNumMipLevels());
        EXPECT_EQ(back->UseMipMaps(), std::string(c.extra).find("MipFilter=none") == std::string::npos);
        for (uint32_t level = 0; level < back->GetNumMipLevels(); ++level)
        {
            auto a = back->GetMip(level, 0), b = l->resource->GetMip(level, 0);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(a->GetWidth(), b->GetWidth());
            EXPECT_EQ(std::string((const char*)a->GetData(), a->GetDataSize()),
                      std::string((const char*)b->GetData(), b->GetDataSize()));
        }
        EXPECT_EQ(s.Files(), (std::vector<std::string>{"a.png", "a.texture", "a.texture.txt"}));
    }
}

TEST(TextureResourceTest, DamagedCompiledFilesAreRefused)
{
    Scratch s;
    s.Image("a.png", 64, 64, 0);
    s.Write("a.texture.txt", "Primary=a.png\n");
    auto l = Load(s.folder + "a.texture.txt", "dxtc");
    ASSERT_EQ(l->resource->LoadTxt(s.folder + "a.texture.txt"), 0);
    ASSERT_TRUE(l->resource->LockBaseMips());
    ASSERT_TRUE(l->resource->WriteCompressedFile("", s.folder + "a.texture"));
    std::string good;
    ASSERT_TRUE(Orvo::File::ReadFile(s.folder + "a.texture", good));
    // Offsets: 12 container header, TXHD chunk header 12 then width 24, height 28, format 32, images 36,
    // levels 40 (a 40-byte chunk); the first TXLV chunk at 52: its level at 68, its byte count at 80.
    auto patch = [&](size_t at, uint32_t v) {
        std::string f = good;
        for (int i = 0; i < 4; ++i) f[at + i] = char(v >> (8 * i));
        return f;
    };
    const struct
    {
        const char* name;
        std::string file;
    } cases[] = {
        {"cut short", good.substr(0, good.size() - 5)},
        {"huge width", patch(24, 1u << 20)},
        {"unknown format", patch(32, 99)},
        {"too many levels", patch(40, 12)},
        {"no images", patch(36, 0)},
        {"wrong level size", patch(80, 100)},
        {"huge level size", patch(80, 0xFFFFFFF0u)},
        {"level out of order", patch(68, 1)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Orvo::File::WriteFile(s.folder + "b.texture", c.file));
        Orvo::AutoReference<Orvo::TextureResource> t(new Orvo::TextureResource(s.folder + "b.texture", nullptr));
        EXPECT_NE(t->Lock(), 0);
    }
}

TEST(TextureResourceTest, DescriptionsAndImagesFailWithAReason)
{
    Scratch s;
    s.Image("a.png", 64, 64, 0);
    s.Image("small.png", 32, 32, 0);
    s.Image("mask.png", 64, 64, 0);
    const struct
    {
        const char* name;
        const char* description;
        bool loads;
        const char* reason;
    } cases[] = {
        {"no primary", "Tile=st\n", false, "names no primary image"},
        {"absolute", "Primary=/etc/passwd\n", false, "outside the texture's folder"},
        {"substitution", "Primary=scripts:a.png\n", false, "outside the texture's folder"},
        {"bad value", "Primary=a.png\nCompression=dxt9\n", false, "\"Compression=dxt9\" is not understood"},
        {"bad anisotropy", "Primary=a.png\nAnisotropy=40\n", false, "not understood"},
        {"alpha size", "Primary=a.png\nAlpha=small.png\n", true, "differ in size"},
        {"fine", "primary = a.png\nALPHA=mask.png\nAlphaHint=auto\n", true, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        s.Write("d.texture.txt", c.description);
        auto l = Load(s.folder + "d.texture.txt", "dxtc");
        const bool loaded = l->resource->LoadTxt(s.folder + "d.texture.txt") == 0;
        EXPECT_EQ(loaded, c.loads);
        if (loaded)
        {
            EXPECT_EQ(l->resource->LockBaseMips(), c.reason[0] == '\0');
        }
        EXPECT_NE(l->resource->GetLoadError().find(c.reason), std::string::npos) << l->resource->GetLoadError();
    }
    // The option MaxTextureSize: one value limits the width alone, two both sides.
    s.Image("big.png", 256, 128, 0);
    s.Write("big.texture.txt", "Primary=big.png\n");
    const struct
    {
        const char* options;
        uint32_t w, h;
    } sizes[] = {{"-MaxTextureSize=128", 128, 64}, {"-MaxTextureSize=128,32", 64, 32}, {"", 256, 128}};
    for (const auto& c : sizes)
    {
        SCOPED_TRACE(c.options);
        auto l = Load(s.folder + "big.texture.txt", "dxtc");
        l->options.ProcessRaw(c.options);
        ASSERT_EQ(l->resource->LoadTxt(s.folder + "big.texture.txt"), 0);
        ASSERT_TRUE(l->resource->LockBaseMips());
        uint32_t w = 0, h = 0;
        l->resource->GetSize(w, h);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
    }
    // Without options the description is not even read.
    Orvo::AutoReference<CompressAsciiResource> bare(new CompressAsciiResource(s.folder + "d.texture.txt", nullptr));
    EXPECT_NE(bare->LoadTxt(s.folder + "d.texture.txt"), 0);
}

TEST(TextureResourceTest, BatchReportsEachFailureAndRestoresDescriptions)
{
    Scratch s;
    s.Image("a.png", 64, 64, 0);
    s.Write("a.texture.txt", "Primary=a.png\n");
    s.Write("b.texture.txt", "Primary=a.png\n");
    // b's output cannot be written: its place is taken by a folder. This used to count as written.
    fs::create_directories(s.folder + "b.texture/keep");
    ResultsLog log;
    EXPECT_EQ(ConvertTexturesInPath("", Orvo::File::Path(s.folder), DefaultTextureTargets(), log), kTexturesFailed);
    const std::vector<ResultsLog::Result> results = log.GetResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].text.str(), "Unable to write output file '" + s.folder + "b.texture'");
    EXPECT_EQ(results[1].kind, uint32_t(kResultMessage));
    EXPECT_TRUE(fs::exists(s.folder + "a.texture"));
    EXPECT_EQ(s.Files(),
              (std::vector<std::string>{"a.png", "a.texture", "a.texture.txt", "b.texture", "b.texture.txt"}));

    // A folder without descriptions converts nothing and says nothing.
    ResultsLog quiet;
    fs::create_directories(s.folder + "empty");
    EXPECT_EQ(ConvertTexturesInPath("", Orvo::File::Path(s.folder + "empty"), DefaultTextureTargets(), quiet),
              kTexturesConverted);
    EXPECT_EQ(quiet.GetResultCount(), 0u);
}

// What a killed conversion left under a temporary name, whose own name is taken by anything but a description, fails
// the batch and stays; a link of that name is nothing a conversion made. (The name given back: TexturesE2E.)
TEST(TextureResourceTest, ADescriptionLeftAsideWhoseNameIsTakenFailsTheBatch)
{
    Scratch s;
    s.Write("c.convert-tex.txt", "Primary=a.png\n");
    fs::create_directories(s.folder + "c.texture.txt");
    fs::create_symlink("a.png", s.folder + "d.convert-tex.txt");
    ResultsLog log;
    EXPECT_EQ(ConvertTexturesInPath("", Orvo::File::Path(s.folder), DefaultTextureTargets(), log), kTexturesFailed);
    ASSERT_EQ(log.GetResultCount(), 2u);
    EXPECT_EQ(log.GetResults()[0].text.str(), "The texture description '" + s.folder +
                                                  "c.convert-tex.txt', left under that name by a conversion that was "
                                                  "cut short, could not have its own name back");
    EXPECT_EQ(log.GetResults()[1].text.str(), "'c.texture.txt' already exists");
    EXPECT_EQ(s.Files(), (std::vector<std::string>{"c.convert-tex.txt", "c.texture.txt", "d.convert-tex.txt"}));
}

// Conversions set descriptions aside and give them back on threads of their own when the signal handler comes:
// every one has its own name back after it, except one whose name was taken meanwhile (said, and that file kept),
// and nothing is set aside any more.
TEST(TextureResourceTest, TheEndingGivesEveryFreeNameBackWhateverTheConversionsAreDoing)
{
    Scratch s;
    DescriptionsAside registry;
    int error = 0;
    s.Write("t.texture.txt", "t");
    ASSERT_TRUE(registry.SetAside(s.folder, "t.texture.txt", "t.convert-tex.txt", error));
    s.Write("t.texture.txt", "written meanwhile");
    std::atomic<int> rounds{0}, ended{0};
    std::vector<std::thread> conversions;
    for (const std::string n : {"0", "1", "2", "3"})
    {
        s.Write(n + ".texture.txt", n);
        conversions.emplace_back([&, n] {
            for (int e = 0; registry.SetAside(s.folder, n + ".texture.txt", n + ".convert-tex.txt", e); ++rounds)
                if (!registry.GiveBack(s.folder, n + ".texture.txt", n + ".convert-tex.txt", e)) break;
            ++ended;
        });
    }
    while (rounds < 200 && ended == 0) std::this_thread::yield();
    EXPECT_EQ(registry.GiveBackAll(), "The texture description '" + s.folder +
                                          "t.texture.txt' stays under the name 't.convert-tex.txt': 't.texture.txt' "
                                          "already exists.\n");
    for (std::thread& t : conversions) t.join();
    // The one that stays aside keeps the note of its own name; the others' notes are gone.
    EXPECT_EQ(s.Files(),
              (std::vector<std::string>{".t.convert-tex.txt.own-name", "0.texture.txt", "1.texture.txt",
                                        "2.texture.txt", "3.texture.txt", "t.convert-tex.txt", "t.texture.txt"}));
    std::string kept;
    EXPECT_TRUE(Orvo::File::ReadFile(s.folder + "t.texture.txt", kept) && kept == "written meanwhile");
    EXPECT_FALSE(registry.SetAside(s.folder, "0.texture.txt", "0.convert-tex.txt", error));
    EXPECT_EQ(error, ECANCELED);
}

TEST(TextureResourceTest, APrimaryImageThatIsAFifoFailsTheConversionWithoutWaiting)
{
    Scratch s;
    const std::string fifo = s.folder + "a.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    s.Write("a.texture.txt", "Primary=a.png\n");
    // Past the bound, a reader that waits on the FIFO is let go (a writer opens it and closes it again), so
    // that the test fails rather than hangs.
    std::atomic<bool> done{false}, waited{false};
    std::thread bound([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        {
            const int fd = std::chrono::steady_clock::now() > end ? ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK) : -1;
            if (fd < 0) continue;
            waited = true;
            ::close(fd);
        }
    });
    uint64_t stamp = 0;
    EXPECT_FALSE(ComputeTextureStamp(s.folder + "a.texture.txt", DefaultTextureTargets(), kBatchTextureOptions, stamp));
    ResultsLog log;
    EXPECT_EQ(ConvertTexturesInPath("", Orvo::File::Path(s.folder), DefaultTextureTargets(), log, true),
              kTexturesFailed);
    EXPECT_GT(log.ErrorCount(), 0u);
    done = true;
    bound.join();
    EXPECT_FALSE(waited) << "a reader waited on the FIFO";
}

TEST(TextureResourceTest, InstallsKeepCompiledTexturesThatAreCurrent)
{
    Scratch s;
    s.Image("a.png", 64, 64, 1);
    s.Image("m.png", 64, 64, 0);
    s.Write("a.texture.txt", "Primary=a.png\nAlpha=m.png\n");
    const PStringArray targets = DefaultTextureTargets();
    const std::string compiled = s.folder + "a.texture";
    auto read = [&] {
        std::string bytes;
        EXPECT_TRUE(Orvo::File::ReadFile(compiled, bytes));
        return bytes;
    };
    auto convert = [&](bool keepCurrent) {
        ResultsLog log;
        EXPECT_EQ(ConvertTexturesInPath("", Orvo::File::Path(s.folder), targets, log, keepCurrent), kTexturesConverted);
        EXPECT_EQ(log.GetResultCount(), 0u);
    };
    convert(false);
    const std::string made = read();
    uint64_t stamp = 0, expected = 0;
    ASSERT_TRUE(ReadTextureStamp(compiled, stamp));
    ASSERT_TRUE(ComputeTextureStamp(s.folder + "a.texture.txt", targets, kBatchTextureOptions, expected));
    EXPECT_EQ(stamp, expected);
    // The stamp is the file's last chunk, which the texture reader steps over.
    Orvo::AutoReference<Orvo::TextureResource> back(new Orvo::TextureResource(compiled, nullptr));
    EXPECT_EQ(back->Lock(), 0);
    back->Unlock();

    // A byte of a level changed behind the stamp's back shows whether the file was made again.
    std::string marked = made;
    marked[made.size() / 2] = char(marked[made.size() / 2] ^ 0x5a);
    ASSERT_TRUE(Orvo::File::WriteFile(compiled, marked));
    convert(true);
    EXPECT_EQ(read(), marked) << "a current texture is kept as it is";
    convert(false);
    EXPECT_EQ(read(), made) << "without keeping, every texture is compiled";

    // Whatever the texture is made from makes it stale: the description, either image, the targets, the options;
    // and a compiled texture without a stamp is compiled again.
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"description", [&] { s.Write("a.texture.txt", "Primary=a.png\nAlpha=m.png\nTile=s\n"); }},
        {"primary image", [&] { s.Image("a.png", 64, 64, 2); }},
        {"alpha image", [&] { s.Image("m.png", 64, 64, 1); }},
        {"no stamp",
         [&] {
             std::string bare = marked.substr(0, marked.size() - kTextureStampChunkBytes);
             const uint32_t length = uint32_t(bare.size() - 8);
             for (int i = 0; i < 4; ++i) bare[4 + i] = char(length >> (8 * i));
             marked = bare;
         }},
    };
    for (const auto& [what, change] : changes)
    {
        SCOPED_TRACE(what);
        change();
        ASSERT_TRUE(Orvo::File::WriteFile(compiled, marked));
        convert(true);
        EXPECT_NE(read(), marked);
        EXPECT_TRUE(ReadTextureStamp(compiled, stamp));
    }
    uint64_t now = 0, etc = 0, options = 0;
    ASSERT_TRUE(ComputeTextureStamp(s.folder + "a.texture.txt", targets, kBatchTextureOptions, now));
    ASSERT_TRUE(
        ComputeTextureStamp(s.folder + "a.texture.txt", ParseTextureTargetList("etc1"), kBatchTextureOptions, etc));
    ASSERT_TRUE(ComputeTextureStamp(s.folder + "a.texture.txt", targets, "-Compression=none", options));
    EXPECT_NE(now, etc);
    EXPECT_NE(now, options);
    // A missing image leaves the texture to the compiler, which says what is wrong.
    fs::remove(s.folder + "m.png");
    EXPECT_FALSE(ComputeTextureStamp(s.folder + "a.texture.txt", targets, kBatchTextureOptions, now));
}

TEST(TextureResourceTest, ConversionsCutShortAreAllWaitedFor)
{
    Scratch s;
    s.Image("a.png", 64, 64, 0);
    for (const char* name : {"a", "b", "c"}) s.Write(std::string(name) + ".texture.txt", "Primary=a.png\n");
    // The release steps go to the main thread; dropping them there cuts every conversion short. The walk
    // must still wait for all of them and leave every description under its own name.
    SetMainThread();
    ResultsLog log;
    uint32_t result = 99;
    std::thread walk(
        [&] { result = ConvertTexturesInPath("", Orvo::File::Path(s.folder), DefaultTextureTargets(), log); });
    for (int i = 0; i < 2000 && log.GetResultCount() < 3; ++i)
    {
        VelmarWorker::CancelTasks(0, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    walk.join();
    EXPECT_EQ(result, kTexturesEndedEarly);
    ASSERT_EQ(log.GetResultCount(), 3u);
    std::vector<std::string> texts;  // the records are taken as they end, in any order
    for (const auto& r : log.GetResults()) texts.push_back(r.text.str());
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts[0], "$vad_texture_compress_err (" + s.folder + "a.texture.txt)");
    EXPECT_EQ(texts[2], "$vad_texture_compress_err (" + s.folder + "c.texture.txt)");
    std::vector<std::string> files = s.Files();
    std::erase_if(files, [](const std::string& f) { return f.ends_with(".texture"); });  // written or not
    EXPECT_EQ(files, (std::vector<std::string>{"a.png", "a.texture.txt", "b.texture.txt", "c.texture.txt"}));
}

namespace {

std::mutex g_logLock;
std::vector<std::string> g_logLines;
void KeepLine(const char* line)
{
    std::lock_guard<std::mutex> hold(g_logLock);
    g_logLines.emplace_back(line);
}

struct TestTexture : AutoReleasingResource
{
    TestTexture(AutoReleaseList& list, int n) : AutoReleasingResource(list), id(n) {}
    void ReleaseNow() override { released = true; }
    void Use(double when) { Touch(when); }
    int id;
    bool released = false;
};

}  // namespace

TEST(TextureResourceTest, AResourceThatOutlivesItsListIsLeftOutOfAnyList)
{
    auto list = std::make_unique<AutoReleaseList>();
    TestTexture a(*list, 1), b(*list, 2);
    a.Use(1.0);
    b.Use(2.0);
    EXPECT_EQ(list->ListByLastUse().size(), 2u);
    list.reset();
    EXPECT_FALSE(a.IsInList());
    a.Use(3.0);  // no list to move to the front of
    EXPECT_FALSE(a.IsInList());
    EXPECT_EQ(a.GetLastUse(), 3.0);

    AutoReleaseList other;
    TestTexture c(other, 3);
    c.Use(1.0);
    other.Empty();
    EXPECT_TRUE(other.ListByLastUse().empty());
    EXPECT_EQ(other.ReleaseUnusedBefore(10.0), 0u);
    EXPECT_FALSE(c.released);
}

TEST(TextureResourceTest, AutoReleasedTexturesByLastUse)
{
    AutoReleaseList list;
    {
        TestTexture a(list, 1), b(list, 2), c(list, 3);
        a.Use(1.0);
        b.Use(2.0);
        c.Use(3.0);
        a.Use(4.0);  // used again: to the front (it used to stay where it was)
        std::vector<AutoReleasingResource*> order = list.ListByLastUse();
        EXPECT_EQ(order, (std::vector<AutoReleasingResource*>{&a, &c, &b}));
        c.AdjustUseCount(+1);
        EXPECT_EQ(list.ReleaseUnusedBefore(3.5), 1u);  // b only: c is in use
        EXPECT_TRUE(b.released);
        EXPECT_FALSE(c.released);
        EXPECT_EQ(list.ListByLastUse().size(), 2u);
    }
    EXPECT_TRUE(list.ListByLastUse().empty());  // destroyed resources left the list

    // A texture whose source cannot be found, and one whose file is missing: each reports once.
    Scratch s;
    Orvo::Display display(Orvo::Display::Kind::Null);
    Orvo::TextureManager manager(&display);
    SetLogLineObserver(KeepLine);
    VelmarTextureResource nowhere(list, &manager, "..", "a.texture");
    EXPECT_EQ(nowhere.Activate(), 0);
    EXPECT_EQ(nowhere.Activate(), 0);
    nowhere.Bind(0);
    VelmarTextureResource missing(list, &manager, "editing", "t/missing.texture");
    missing.Bind(1);
    missing.Bind(1);
    SetLogLineObserver(nullptr);
    EXPECT_EQ(g_logLines, (std::vector<std::string>{
                              "Unable to load texture 'a.texture' from '..'",
                              "VelmarTextureResource::Activate> couldnt load 'a.texture' from '..'",
                              "Unable to load texture 't/missing.texture' from 'editing'",
                              "VelmarTextureResource::Bind> couldnt load 't/missing.texture' from 'editing'",
                          }));
    EXPECT_EQ(display.GetRecord(),
              (std::vector<std::string>{"bind texture 0 none", "bind texture 1 none", "bind texture 1 none"}));

    // A compiled texture binds and activates.
    s.Image("a.png", 64, 64, 0);
    s.Write("a.texture.txt", "Primary=a.png\n");
    ResultsLog log;
    ASSERT_EQ(ConvertTexturesInPath("", Orvo::File::Path(s.folder), DefaultTextureTargets(), log), kTexturesConverted);
    VelmarTextureResource good(list, &manager, "editing", "t/a.texture");
    EXPECT_EQ(good.Activate(), 1);
    good.Bind(2);
    EXPECT_EQ(display.GetRecord().back(), "bind texture 2 t/a.texture");
    EXPECT_EQ(list.ListByLastUse().front(), &good);
}
