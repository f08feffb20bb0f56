#pragma once
// Well-formed assets of every kind our validation templates define, each of which validates clean, for
// the end-to-end tests and the validation benchmark. An asset is a folder name, its configuration and the
// files it names.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace e2e {

struct SampleAsset
{
    std::string folder;
    std::string kuid;  // "<kuid:u:c>"
    std::string config;
    std::map<std::string, std::string> files;
};

// An uncompressed 24-bit TGA image of w x h pixels with a pattern (no two neighbours alike), top row first.
inline std::string PatternTga(uint16_t w, uint16_t h)
{
    std::string t(18, '\0');
    t[2] = 2;  // true colour, uncompressed
    t[12] = char(w & 0xFF);
    t[13] = char(w >> 8);
    t[14] = char(h & 0xFF);
    t[15] = char(h >> 8);
    t[16] = 24;
    t[17] = 0x20;  // rows from the top
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) t += {char(x * 29), char(y * 31), char((x + y) * 7)};
    return t;
}

// A real mesh file: a plain one of the validation corpus, written by our mesh writer.
inline std::string SampleMesh()
{
    std::ifstream in(VELMAR_SOURCE_DIR "/data/samples/validation/bridge/body.im", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string SampleKuid(int user, int content)
{
    return "<kuid:" + std::to_string(user) + ":" + std::to_string(content) + ">";
}

// One clean asset of each kind (and each variant a kind has at a current build), with KUIDs
// <kuid:user:first>, <kuid:user:first + 1>, ...
inline std::vector<SampleAsset> CleanSamples(int user, int first, const std::string& suffix = "")
{
    const std::string mesh = "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n}\n";
    const std::string other = SampleKuid(user, 1);
    const std::string tracks = "attached-track\n{\n  track1\n  {\n    track " + other +
                               "\n    vertices\n    {\n      0 \"a.track0a\"\n      1 \"a.track0b\"\n    }\n"
                               "    useadjoiningtracktype 0\n  }\n}\n";
    const struct
    {
        const char* name;
        const char* kind;
        const char* category;
        std::string body;
    } kinds[] = {
        {"traincar", "traincar", "VL",
         mesh + "mass 52.5\nengine 1\nbogeys\n{\n  0\n  {\n    bogey " + other + "\n    reversed 0\n  }\n}\n"},
        {"bogey", "bogey", "CMP", mesh},
        {"interior", "interior", "IC", mesh + "cameralist\n{\n  camera0 0,1.5,2,0,0\n}\ncameradefault 0\n"},
        {"pantograph", "pantograph", "CMP", mesh},
        {"drivercharacter", "drivercharacter", "HM", mesh},
        {"track", "track", "TR", "width 4.5\nlength 10\nistrack 1\n"},
        {"bridge", "bridge", "TB", "height -2\nbridgetrack " + other + "\n" + mesh},
        {"double-track", "bridge", "TB", "height 0\nbridgetrack " + other + "\n" + mesh},
        {"tunnel", "bridge", "TB", "height 6\nbridgetrack " + other + "\n" + mesh + tracks},
        {"scenery", "scenery", "BD", mesh},
        {"scenery-trackside", "scenery", "BD", "trackside 2.5\n" + mesh},
        {"spline", "spline", "GS", "length 20\nwidth 3\n"},
        {"map", "map", "MA", "region " + other + "\n"},
        {"behavior", "behavior", "ACTV", "script \"rules.gs\"\nclass \"SampleRules\"\n"},
        {"groundtexture", "groundtexture", "GL", "texture \"ground.texture\"\n"},
        {"texture", "texture", "TX", "texture \"brick.texture\"\n"},
        {"mesh", "mesh", "MESH", mesh},
        {"mojunction", "mojunction", "JC", mesh + tracks},
        {"mocrossing", "mocrossing", "LS", mesh + tracks},
        {"turntable", "turntable", "TT", mesh + tracks},
        {"buildable", "buildable", "BI",
         mesh + "queues\n{\n  coal\n  {\n    size 40\n    initial-count 10\n    product-kuid " + other + "\n  }\n}\n"},
        {"mospeedboard", "mospeedboard", "SP", "trackside 3\nspeedlimit 25\n" + mesh},
        {"mosignal", "mosignal", "SR", "trackside -3\nfunction \"signal\"\n" + mesh},
    };
    std::vector<SampleAsset> out;
    int content = first;
    for (const auto& k : kinds)
    {
        SampleAsset a;
        a.folder = std::string(k.name) + suffix;
        a.kuid = SampleKuid(user, content++);
        a.config = "kuid " + a.kuid + "\nkind \"" + k.kind + "\"\nvelmar-build 3.7\nusername \"Sample " + k.name +
                   "\"\ncategory-class \"" + k.category + "\"\ncategory-region \"UK;DE\"\ncategory-era \"1950s\"\n" +
                   "description \"A clean sample of its kind.\"\nauthor \"Velmar tests\"\n" + k.body;
        a.files = {{"body.im", SampleMesh()},
                   {"rules.gs", "class SampleRules { };\n"},
                   {"ground.texture", "texture"},
                   {"ground.texture.txt", "Primary=ground.tga\n"},
                   {"ground.tga", PatternTga(16, 16)},
                   {"brick.texture", "texture"},
                   {"brick.texture.txt", "Primary=brick.tga\n"},
                   {"brick.tga", PatternTga(8, 8)}};
        out.push_back(std::move(a));
    }
    return out;
}

}  // namespace e2e
