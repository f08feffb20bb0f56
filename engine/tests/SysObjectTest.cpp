// The engine's small system objects: exceptions, counters, libraries, the OS object and
// named shared memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/AutoReference.h"
#include "engine/DynamicLibrary.h"
#include "engine/Exception.h"
#include "engine/OS.h"
#include "engine/ProtectedLong.h"
#include "engine/ReferenceCount.h"
#include "engine/SharedMemory.h"

using namespace Orvo;

namespace {

struct Counted : ReferenceCount
{
    explicit Counted(int* deletions) : deletions_(deletions) {}
    ~Counted() override { ++*deletions_; }
    int* deletions_;
};

}  // namespace

TEST(SysObjectTest, ExceptionTextIsNeverAFormatAndANullFormatIsEmpty)
{
    EXPECT_STREQ(Exception::Format("bad %s %d", "thing", 7).what(), "bad thing 7");
    EXPECT_EQ(Exception("plain % text").GetText(), "plain % text");
    EXPECT_STREQ(Exception::Format(nullptr).what(), "");
}

TEST(SysObjectTest, ProtectedLongReturnsTheNewValueButExchangeTheOld)
{
    ProtectedLong n(5);
    EXPECT_EQ(n.Add(10), 15);               // operations return the new value...
    EXPECT_EQ(n.Exchange(3), 15);           // ...except Exchange, which returns the old one
    EXPECT_EQ(n.CompareExchange(9, 1), 3);  // no match: unchanged, the value found comes back
    EXPECT_EQ(n.CompareExchange(3, 1), 3);
    EXPECT_EQ(n.Get(), 1);
}

TEST(SysObjectTest, ReferenceCountDeletesAtZeroOnlyOnce)
{
    int deletions = 0;
    auto* obj = new Counted(&deletions);
    EXPECT_EQ(obj->GetRefCount(), 0);
    EXPECT_EQ(obj->AddRef(), 1);
    EXPECT_EQ(obj->AddRef(), 2);
    EXPECT_EQ(obj->Release(), 1);
    EXPECT_EQ(deletions, 0);
    EXPECT_EQ(obj->Release(), 0);
    EXPECT_EQ(deletions, 1);

    // Shared across threads through counted handles.
    {
        AutoReference<Counted> ref(new Counted(&deletions));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([ref] {
                for (int i = 0; i < 10000; ++i)
                {
                    AutoReference<Counted> copy = ref;
                }
            });
        for (auto& t : threads) t.join();
        EXPECT_EQ(ref->GetRefCount(), 1);
    }
    EXPECT_EQ(deletions, 2);

    // Releasing an object nobody holds does not delete it.
    Counted* unowned = new Counted(&deletions);
    EXPECT_EQ(unowned->Release(), 0);
    EXPECT_EQ(deletions, 2);
    unowned->AddRef();
    unowned->Release();
    EXPECT_EQ(deletions, 3);
}

TEST(SysObjectTest, DynamicLibraryFindsSymbols)
{
    DynamicLibrary lib;
    EXPECT_EQ(lib.GetSymbol("cos"), nullptr);
    EXPECT_FALSE(lib.GetError().empty());
    ASSERT_TRUE(lib.Load("libm.so.6")) << lib.GetError();
    auto cosine = lib.GetFunction<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(lib.GetSymbol("velmar_no_such_symbol"), nullptr);
    EXPECT_FALSE(lib.GetError().empty());
    DynamicLibrary moved = std::move(lib);
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_TRUE(moved.IsLoaded());

    EXPECT_FALSE(lib.Load("/nonexistent/velmarnativeinterface.dll"));
    EXPECT_FALSE(lib.GetError().empty());
    EXPECT_FALSE(lib.Load(""));
    ASSERT_TRUE(lib.LoadSelf());
    EXPECT_NE(lib.GetSymbol("malloc"), nullptr);
}

TEST(SysObjectTest, OSObjectKnowsTheProgram)
{
    {
        OS os;
        EXPECT_FALSE(os.IsInitialised());
        ASSERT_TRUE(os.Init());
        EXPECT_TRUE(os.IsInitialised());
        EXPECT_EQ(os.GetExecutablePath(), os.GetExecutableFolder() + "/velmar_engine_tests");
        EXPECT_TRUE(os.IsMainThread());
        std::atomic<bool> other{true};
        std::thread([&] { other = os.IsMainThread(); }).join();
        EXPECT_FALSE(other);
        os.Shutdown();
        EXPECT_FALSE(os.IsInitialised());
        EXPECT_FALSE(os.IsMainThread());
    }
}

TEST(SysObjectTest, SharedMemoryCreatorRemovesTheName)
{
    const std::string name = "velmar-test-sys-" + std::to_string(getpid());
    SharedMemory creator;
    ASSERT_TRUE(creator.Create(name, 128)) << creator.GetError();
    EXPECT_FALSE(creator.AlreadyExisted());
    ASSERT_TRUE(creator.Write(0, "shared", 7));

    SharedMemory second;
    ASSERT_TRUE(second.Create(name, 128));
    EXPECT_TRUE(second.AlreadyExisted());
    char buf[7];
    ASSERT_TRUE(second.Read(0, buf, 7));
    EXPECT_STREQ(buf, "shared");
    EXPECT_STREQ(static_cast<const char*>(second.GetData()), "shared");
    second.Close();  // not the creator: the name stays

    SharedMemory reader;
    ASSERT_TRUE(reader.Open(name, false));
    EXPECT_EQ(reader.GetSize(), 128u);
    creator.Close();  // the creator's close removes the name; open mappings stay valid
    EXPECT_FALSE(SharedMemory().Open(name));
    ASSERT_TRUE(reader.Read(0, buf, 7));
    EXPECT_STREQ(buf, "shared");
    EXPECT_FALSE(reader.Create("bad/name", 16));
    EXPECT_FALSE(reader.GetError().empty());
}
