// Loading and saving a large generated configuration tree in both file forms, in MB/s; the text load beside
// rapidjson building its document from the same content written as JSON, and beside the parser alone.
// Each load is the best of five.
//   bench_soup [MB] [folder]    (defaults: 10 MB, the system's temporary folder)
#include "core/ACSConverter.h"
#include "core/ConfigFile.h"
#include "core/SoupText.h"

#include "engine/ConfigParser.h"
#include "engine/File.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// One asset-like block: a mix of every value type, nested containers and long strings.
void AppendAsset(std::string& out, int n)
{
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "asset-%d\n{\n"
                  "\tkuid\t<kuid2:%d:%d:%d>\n"
                  "\tusername\t\"Generated asset %d with a \\\"quoted\\\" word\"\n"
                  "\tpath\t\"C:\\\\Velmar\\\\Content\\\\asset%d\\\\body.im\"\n"
                  "\tvelmar-build\t3.5\n"
                  "\tposition\t%d.25,-1.5,%d.0,0.125\n"
                  "\tcounts\t1,2,3,%d\n"
                  "\tdependencies\t<kuid:1:%d>,<kuid2:2:%d:1>\n"
                  "\tcategory-class\tBR\n",
                  n, 1000 + n % 977, n, n % 127, n, n, n, n, n, n, n);
    out += buf;
    out += "\tmesh-table\n\t{\n";
    for (int m = 0; m < 4; ++m)
    {
        std::snprintf(buf, sizeof buf,
                      "\t\tmesh-%d\n\t\t{\n\t\t\tmesh\t\"mesh%d.lm\"\n\t\t\tauto-create\t1\n"
                      "\t\t\tscale\t1.0,1.0,1.0\n\t\t\tdescription\t\"A mesh of the generated asset, "
                      "long enough to look like a real description line.\"\n\t\t}\n",
                      m, m);
        out += buf;
    }
    out += "\t}\n}\n";
}

double Seconds(std::chrono::steady_clock::time_point a)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

void AppendJSONString(std::string& out, std::string_view s)
{
    out.push_back('"');
    for (char c : s)
    {
        if (c == '"' || c == '\\')
            out.push_back('\\'), out.push_back(c);
        else if (static_cast<unsigned char>(c) < 0x20)
        {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
            out += buf;
        }
        else
            out.push_back(c);
    }
    out.push_back('"');
}

// The same tree as JSON: containers as objects, strings and KUIDs as strings, numbers and arrays as numbers.
void AppendJSON(std::string& out, const TDBTagRef& tag)
{
    if (tag.IsContainer())
    {
        out.push_back('{');
        for (size_t i = 0; i < tag.GetChildCount(); ++i)
        {
            if (i) out.push_back(',');
            AppendJSONString(out, tag.GetChildName(i).View());
            out.push_back(':');
            AppendJSON(out, tag.GetChildAt(i));
        }
        out.push_back('}');
        return;
    }
    const ACSRawDataCore* d = tag.GetData();
    if (!d || d->IsNull())
    {
        out += "null";
        return;
    }
    if (d->GetType() == kACSString)
    {
        AppendJSONString(out, d->GetString());
        return;
    }
    std::string text;
    ACSConverter::ToText(*d, text);
    if (d->GetType() == kACSKUID || d->GetType() == kACSBinary)
        AppendJSONString(out, text);
    else if (d->GetCount() == 1)
        out += text;
    else
        out += "[" + text + "]";
}

// The best of five runs of `fn(run)`, in seconds (what a run keeps is freed outside the timing).
template <typename Fn>
double Best(Fn fn)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i)
    {
        auto t0 = std::chrono::steady_clock::now();
        fn(i);
        best = std::min(best, Seconds(t0));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    const double wantMB = argc > 1 ? std::atof(argv[1]) : 10.0;
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp");

    std::string text;
    for (int n = 0; text.size() < wantMB * 1024 * 1024; ++n) AppendAsset(text, n);
    const std::string txtPath = dir + "/bench_soup.txt";
    const std::string binPath = dir + "/bench_soup.chump";
    if (!Orvo::File::WriteFile(txtPath, text))
    {
        std::fprintf(stderr, "cannot write %s\n", txtPath.c_str());
        return 1;
    }
    const double textMB = text.size() / (1024.0 * 1024.0);

    auto report = [](const char* what, double mb, double s) {
        std::printf("%-22s %8.2f MB  %7.3f s  %8.1f MB/s\n", what, mb, s, mb / s);
    };

    TDBTagRef trees[5];
    bool loaded = true;
    const double loadText = Best([&](int i) { loaded = loaded && LoadConfigFile(trees[i], "", txtPath); });
    TDBTagRef tree = trees[0];
    if (!loaded)
    {
        std::fprintf(stderr, "cannot load %s\n", txtPath.c_str());
        return 1;
    }
    report("load text", textMB, loadText);
    std::vector<Orvo::ConfigParser> parsers(5);
    const double parseOnly = Best([&](int i) {
        std::string bytes;
        Orvo::File::ReadFile(txtPath, bytes);
        loaded = loaded && parsers[i].ParseText(bytes, "bench") == Orvo::ConfigParser::Ok;
    });
    report("parser alone", textMB, parseOnly);

    // The same content as JSON, read into rapidjson's document from the file (reading included, as above).
    std::string json;
    AppendJSON(json, tree);
    const std::string jsonPath = dir + "/bench_soup.json";
    Orvo::File::WriteFile(jsonPath, json);
    const double jsonMB = json.size() / (1024.0 * 1024.0);
    std::vector<rapidjson::Document> docs(5);
    const double loadJSON = Best([&](int i) {
        std::string bytes;
        Orvo::File::ReadFile(jsonPath, bytes);
        docs[i].Parse(bytes.data(), bytes.size());
        loaded = loaded && !docs[i].HasParseError();
    });
    report("rapidjson (JSON)", jsonMB, loadJSON);
    std::printf("load text / rapidjson: %.2f (in MB/s of each form)\n", (textMB / loadText) / (jsonMB / loadJSON));
    Orvo::File::Delete(jsonPath);

    auto t0 = std::chrono::steady_clock::now();
    if (!SaveConfigFile(tree, "", txtPath)) return 1;
    report("save text", textMB, Seconds(t0));

    t0 = std::chrono::steady_clock::now();
    if (!SaveConfigFile(tree, "", binPath)) return 1;
    const double binMB = static_cast<double>(Orvo::File::GetSize(binPath)) / (1024.0 * 1024.0);
    report("save binary", binMB, Seconds(t0));

    TDBTagRef binaryTrees[5];
    const double loadBinary = Best([&](int i) { loaded = loaded && LoadConfigFile(binaryTrees[i], "", binPath); });
    TDBTagRef again = binaryTrees[0];
    if (!loaded) return 1;
    report("load binary", binMB, loadBinary);

    std::printf("children: %zu\n", again.GetChildCount());
    Orvo::File::Delete(txtPath);
    Orvo::File::Delete(binPath);
    return 0;
}
