// The primary image's size read from its header, as the batch conversion orders its work by it.
#include "engine/AsciiTextureResource.h"
#include "engine/Bitmap.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(PrimarySizeTest, ReadsTheSizeTheHeaderDeclares)
{
    ScratchFolder dir;
    ASSERT_TRUE(dir.IsValid());
    const Orvo::Bitmap image(40, 24, Orvo::Bitmap::FormatARGB32);
    for (const char* name : {"a.png", "a.jpg", "a.tga", "a.bmp"}) ASSERT_TRUE(image.Save(dir / name)) << name;
    std::ofstream(dir / "damaged.png") << "not an image";
    struct Case
    {
        const char* description;
        bool ok;
    } cases[] = {
        {"Primary=a.png\n", true},
        {"Primary = a.jpg\nTile=s\n", true},
        {"primary=x.png\nPRIMARY=a.tga\n", true},  // the later line holds
        {"Primary=a.bmp\n", true},
        {"Primary=missing.png\n", false},
        {"Primary=damaged.png\n", false},
        {"Primary=../a.png\n", false},  // outside the folder: not read
        {"Alpha=a.png\n", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.description);
        std::ofstream(dir / "t.texture.txt", std::ios::trunc) << c.description;
        uint32_t width = 0, height = 0;
        EXPECT_EQ(Orvo::AsciiTextureResource::ReadPrimarySize(dir / "t.texture.txt", width, height), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(width, 40u);
            EXPECT_EQ(height, 24u);
        }
    }
}
