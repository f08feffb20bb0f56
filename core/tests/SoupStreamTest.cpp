// The binary form written and checked piece by piece gives the bytes and the verdicts of the tree forms.
#include "core/Crc32.h"
#include "core/SoupBinary.h"
#include "core/SoupBinaryStream.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TDBTagRef SampleTree()
{
    TDBTagRef root = TDBTagRef::NewContainer();
    root.SetChildString("name", "A tree");
    root.SetChildInts("counts", {1, 2, 3});
    root.SetChildKUID("kuid", KUID(5, 6, 7));
    TDBTagRef files = root.CreateChildContainer("files");
    files.SetChildBinary("a.bin", "\x00\x01\x02", 3);
    files.CreateChildContainer("sub").SetChildBinary("b.txt", "hello", 5);
    root.SetChildNull("nothing");
    return root;
}

std::string ReadAll(int fd)
{
    std::string out(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(fd, out.data(), out.size(), 0), static_cast<ssize_t>(out.size()));
    return out;
}

}  // namespace

TEST(Crc32, CombineGivesTheCrcOfTheJoinedPieces)
{
    const std::string a = "The quick brown fox", b = " jumps over the lazy dog";
    for (size_t cut : {size_t(0), size_t(1), size_t(7), a.size()})
    {
        const std::string first = (a + b).substr(0, cut), second = (a + b).substr(cut);
        EXPECT_EQ(Crc32Combine(Crc32(first.data(), first.size()), Crc32(second.data(), second.size()), second.size()),
                  0x414FA339u)
            << cut;
    }
}

// The folded (carry-less multiply) path for long data against the table path byte by byte.
TEST(Crc32, LongDataAsByteByByte)
{
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919 + i / 13) & 0xFF);
    for (size_t size : {size_t(63), size_t(64), size_t(65), size_t(80), size_t(127), size_t(1000), data.size()})
    {
        uint32_t bytewise = 0;
        for (size_t i = 0; i < size; ++i) bytewise = Crc32(data.data() + i, 1, bytewise);
        EXPECT_EQ(Crc32(data.data(), size), bytewise) << size;
        EXPECT_EQ(Crc32(data.data() + 3, size - 3, Crc32(data.data(), 3)), bytewise) << size;
    }
}

TEST(SoupStream, WrittenPieceByPieceEqualsTheTreeForm)
{
    TestFolder dir;
    const TDBTagRef tree = SampleTree();
    std::string expected;
    ASSERT_TRUE(WriteSoupBinary(tree, expected));

    const int fd = open((dir.Str() + "/t.chump").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    {
        SoupStreamWriter w(fd);
        ASSERT_TRUE(w.BeginFile());
        uint32_t crc = 0;
        uint64_t size = 0;
        for (size_t i = 0; i < tree.GetChildCount(); ++i)
        {
            if (tree.GetChildName(i) != Orvo::PString("files"))
            {
                ASSERT_TRUE(w.WriteTag(tree.GetChildName(i).View(), tree.GetChildAt(i)));
                continue;
            }
            // The file tree opened and closed by hand, its body checksummed as it goes.
            ASSERT_TRUE(w.OpenContainer("files", true));
            ASSERT_TRUE(w.WriteBinary("a.bin", "\x00\x01\x02", 3));
            ASSERT_TRUE(w.OpenContainer("sub"));
            ASSERT_TRUE(w.WriteBinary("b.txt", "hello", 5));
            ASSERT_TRUE(w.CloseContainer());
            ASSERT_TRUE(w.CloseContainer(&crc, &size));
        }
        ASSERT_TRUE(w.EndFile());
        std::string body;
        ASSERT_TRUE(WriteSoupBinaryBody(tree.GetChildContainer("files"), body));
        EXPECT_EQ(size, body.size());
        EXPECT_EQ(crc, Crc32(body.data(), body.size()));
    }
    EXPECT_EQ(ReadAll(fd), expected);
    close(fd);
}

// Every single-byte change of a file: the piece-by-piece check and the tree reader agree on the verdict.
TEST(SoupStream, CheckAgreesWithTheTreeReaderOnDamagedFiles)
{
    TestFolder dir;
    std::string good;
    ASSERT_TRUE(WriteSoupBinary(SampleTree(), good));
    const std::string path = dir.Str() + "/d.chump";
    for (size_t at = 0; at <= good.size(); ++at)
        for (int change : {1, 0x80, -1})
        {
            std::string bytes = good;
            if (at == good.size())
            {
                if (change != 1) continue;
                bytes.pop_back();  // cut short
            }
            else if (change == -1)
                bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), 'x');
            else
                bytes[at] = static_cast<char>(bytes[at] ^ change);
            const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
            ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            SoupStreamReader in(fd, 0, bytes.size());
            uint64_t bodyAt = 0;
            SoupBinaryResult streamed = CheckSoupBinaryHeader(in, bodyAt);
            if (streamed == SoupBinaryResult::kOK && !in.CheckChunks(bodyAt, in.End()))
                streamed = SoupBinaryResult::kDamaged;
            TDBTagRef tree;
            EXPECT_EQ(streamed, ReadSoupBinary(bytes.data(), bytes.size(), tree)) << at << " " << change;
            close(fd);
        }
}

// Chunks read one after another across payloads of every size (reads on from the window, jumps past large
// payloads, back again): each header and each byte read is the file's, whatever the reader held before.
TEST(SoupStream, ReadsAcrossSmallAndLargePayloadsGiveTheFilesBytes)
{
    TestFolder dir;
    TDBTagRef root = TDBTagRef::NewContainer();
    const size_t sizes[] = {10, 300 << 10, 3, 1 << 20, 5000, 5000, 260 << 10, 1, 70 << 10};
    std::vector<std::string> names;
    for (size_t i = 0; i < std::size(sizes); ++i)
    {
        std::string data(sizes[i], '\0');
        for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<char>((b * 7 + i) & 0xFF);
        names.push_back("f" + std::to_string(i));
        root.CreateChildContainer("c" + std::to_string(i)).SetChildBinary(names.back(), data.data(), data.size());
    }
    std::string bytes;
    ASSERT_TRUE(WriteSoupBinary(root, bytes));
    const std::string path = dir.Str() + "/big.chump";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));

    SoupStreamReader in(fd, 0, bytes.size());
    uint64_t bodyAt = 0;
    ASSERT_EQ(CheckSoupBinaryHeader(in, bodyAt), SoupBinaryResult::kOK);
    ASSERT_TRUE(in.CheckChunks(bodyAt, in.End()));
    SoupChunkInfo c, file;
    size_t i = 0;
    for (uint64_t at = bodyAt; at != in.End(); at = c.end, ++i)
    {
        ASSERT_TRUE(in.ReadChunk(at, in.End(), c));
        ASSERT_TRUE(in.ReadChunk(c.payloadAt, c.end, file));
        EXPECT_EQ(file.name, names[i]);
        ASSERT_EQ(file.PayloadSize(), sizes[i]);
        // A few bytes at its end, then its start: forwards and back within and past the window.
        char tail[1], head[1];
        ASSERT_TRUE(in.ReadBytes(file.end - 1, tail, 1));
        ASSERT_TRUE(in.ReadBytes(file.payloadAt, head, 1));
        EXPECT_EQ(tail[0], bytes[file.end - 1]);
        EXPECT_EQ(head[0], bytes[file.payloadAt]);
    }
    EXPECT_EQ(i, std::size(sizes));
    std::string whole;
    ASSERT_TRUE(in.ReadBytes(0, bytes.size(), whole));
    EXPECT_TRUE(whole == bytes);
    close(fd);
}
