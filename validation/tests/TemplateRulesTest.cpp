// Templates written by the tests: the template forms and rules our own templates do not use, and the
// template faults that must stop validation with a clear error instead of a silent pass. (Templates that
// inherit in a circle: tests/e2e/ValidateE2ETest.cpp.)
#include "ValidationTestSupport.h"

namespace validation_test {
namespace {

// Template text written by parts: an entry of a kind with its further lines, a value entry of a type, a
// named rule with its parameters, and a definition "name { ... }".
std::string Entry(const std::string& name, const std::string& kind, const std::string& more = "")
{
    return name + " {\nkind \"" + kind + "\"\n" + more + "}\n";
}
std::string Value(const std::string& name, const std::string& type, const std::string& more = "")
{
    return Entry(name, "value", "type \"" + type + "\"\n" + more);
}
std::string Rule(const std::string& name, const std::string& params = "")
{
    return "validation {\n" + name + " {\n" + params + "}\n}\n";
}
std::string Block(const std::string& name, const std::string& body) { return name + " {\n" + body + "}\n"; }
std::string Subs(const std::string& entries) { return Block("subpossibilities", entries); }

const std::string kProbeTemplates =
    Block("probe-base",
          Block("inherit", "level1\n") +
              Subs(Value("kuid", "kuid") + Value("kind", "string") + Value("velmar-build", "float") +
                   Value("type", "string") + Value("marker", "string", Rule("istracksidetype")) +
                   Value("wheels", "int", Rule("isnottraincar")) +
                   Value("collated", "string", Rule("needcollatemeshes")) + Value("collate-meshes", "bool") +
                   Value("token", "string-token", "compulsory 1\n") +
                   Value("spots", "floatlist", Rule("arraymaxsize", "size 2\n")) + Value("ref", "kuidbrowser") +
                   Value("track0", "kuid", "sequence 1\n") + Value("light0", "float") +
                   Entry("string-table", "table", "container-type0 \"table\"\n") +
                   Entry("names", "names", "container-type0 \"names\"\n") +
                   Entry("parts", "element", "element-type \"parts\"\n") +
                   Entry("lights", "lights", "container-type0 \"lights\"\n") +
                   Entry("lamps", "lamps", "container-type0 \"lamps\"\n") +
                   Entry("member", "member", "container-type0 \"member\"\n"))) +
    Block("level1", Block("inherit", "level2\n")) + Block("level2", Subs(Value("deep", "int"))) +
    Block("table", Value("tagarray", "string")) + Block("names", Value("tagarray", "doublestring")) +
    Block("parts", Subs(Entry("numbered", "light", "container-type0 \"light\"\nnumarray 1\n"))) +
    Block("lights", Block("array-element", "container-type0 \"light\"\n")) + Block("light", Subs(Value("x", "float"))) +
    Block("lamps", Block("array-element", "container-type0 \"lamp\"\n")) +
    Block("lamp", Subs(Value("light-ref", "string", Rule("mustbeinlightcontainer")))) +
    Block("member", Subs(Value("username", "string", "compulsory 1\n"))) +
    Block("smoke", "icon \"smoke\"\n" +
                       Subs(Value("attachment", "string") + Value("file", "string") +
                            Value("rate", "float", "compulsory 1\n") + Value("velocity", "float", "compulsory 1\n")));

const std::string kProbeKinds = Block("probe", "top-level 1\n" + Block("inherit", "probe-base\n")) +
                                Block("traincar", "top-level 1\n" + Block("inherit", "probe-base\n"));

std::string Probe(const std::string& body, const std::string& kind = "probe")
{
    return "kuid <kuid:900001:500>\nkind \"" + kind + "\"\nvelmar-build 3.7\ntoken \"hello\"\n" +
           "string-table\n{\n  hello \"Hello\"\n}\n" + body;
}

using TemplateRulesTest = ValidationTest;

TEST_F(TemplateRulesTest, FormsAndRulesOfTestTemplates)
{
    UseTemplates({{"inheritance.txt", kProbeTemplates}, {"kind.txt", kProbeKinds}, {"container.txt", ""}});
    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> findings;
    } cases[] = {
        {"clean", Probe(""), {}},
        {"inherited through two levels", Probe("deep 1\n"), {}},
        {"trackside type missing",
         Probe("marker \"m\"\n"),
         {"- $tet_val_notype KIND=trackside TAG_0=marker TAG_1=type"}},
        {"trackside type", Probe("marker \"m\"\ntype \"trackside\"\n"), {}},
        {"trackside type wrong",
         Probe("marker \"m\"\ntype \"x\"\n"),
         {"- $tet_val_wrongtype KIND=trackside TAG_0=type TAG_1=marker"}},
        {"not in a traincar", Probe("wheels 4\n", "traincar"), {"- $tet_val_not_type KIND=traincar TAG_NAME=wheels"}},
        {"not in a traincar, elsewhere", Probe("wheels 4\n"), {}},
        {"collate meshes",
         Probe("collated \"c\"\n"),
         {"- $tet_val_nocollatemeshes TAG_0=collated TAG_1=collate-meshes"}},
        {"string token unknown",
         Probe("token \"nope\"\n"),
         {"- $tet_container_invalid_string_token TAG=token VALUE=nope"}},
        {"string token empty",
         Probe("token \"\"\n"),
         {"- $tet_container_emptystringerr CONT_NAME=probe TAG_NAME=token"}},
        {"list beyond its maximum",
         Probe("spots 1,2,3\n"),
         {"- $tet_val_arraybeyondmax The tag 'spots' may hold at most 2 values but holds 3."}},
        {"null KUID in a browser", Probe("ref \"\"\n"), {"! $tet_val_nullkuidwarn TAG_NAME=ref"}},
        {"numbered family", Probe("track12 <kuid:1:2>\ntrack7 <kuid:1:3>\n"), {}},
        {"numbered tag without family",
         Probe("light3 1\n"),
         {"- $tet_container_nodefinition CONT_NAME=probe TAG_NAME=light3"}},
        {"numbered array entries",
         Probe("parts\n{\n  7\n  {\n    x 1\n  }\n  0\n  {\n  }\n  x\n  {\n  }\n}\n"),
         {"- $tet_container_nodefinition CONT_NAME=parts TAG_NAME=x"}},
        {"language string table", Probe("string-table-de\n{\n  hello \"Hallo\"\n}\n"), {}},
        {"free names",
         Probe("names\n{\n  Fred \"\"\n}\n"),
         {"! $tet_container_emptystringwarn CONT_NAME=names TAG_NAME=Fred"}},
        {"smoke with a file", Probe("smoke0\n{\n  attachment \"a\"\n  file \"f\"\n}\n"), {}},
        {"smoke without",
         Probe("smoke1\n{\n  attachment \"a\"\n}\n"),
         {"- $tet_container_missingtag TAG_NAME=rate", "- $tet_container_missingtag TAG_NAME=velocity"}},
        {"lights named",
         Probe("lights\n{\n  0\n  {\n    x 1\n  }\n}\nlamps\n{\n  a\n  {\n    light-ref \"0,2\"\n  }\n}\n"),
         {"- $tet_val_mustbeinlightcontainer NUM=2"}},
        {"no lights",
         Probe("lamps\n{\n  a\n  {\n    light-ref \"0\"\n  }\n}\n"),
         {"- $tet_val_musthavealightcontainer"}},
        {"key tag of a nested container",
         Probe("member\n{\n  username \"\"\n}\n"),
         {"- $tet_container_emptystringerr CONT_NAME=member TAG_NAME=username"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Validate(c.config), c.findings) << c.name;
}

bool FailsWithoutSaying(TETLib::Container&, const TDBTagRef*) { return false; }

TEST_F(TemplateRulesTest, CompulsoryContainersAndFailuresWithoutAReason)
{
    // A compulsory container whose entry chooses its type is not missing when it is there.
    const std::string kinds =
        Block("needy",
              "top-level 1\n" +
                  Subs(Value("kuid", "kuid") + Value("kind", "string") + Value("velmar-build", "float") +
                       Entry("parts", "parts", "container-type0 \"parts\"\nelement-type \"parts\"\ncompulsory 1\n")) +
                  Rule("soundisvalid"));
    UseTemplates({{"inheritance.txt", ""}, {"kind.txt", kinds}, {"container.txt", "parts\n{\n}\n"}});
    const std::string head = "kuid <kuid:900001:500>\nkind \"needy\"\nvelmar-build 3.7\n";
    // Without a sound check the template's rule cannot be honoured: an error says so.
    EXPECT_EQ(Validate(head + "parts\n{\n}\n"),
              std::vector<std::string>{"- $tet_val_sound_check_unavailable CONT_NAME=needy"});
    // A check that fails and reports nothing still fails the asset, with a finding that says so.
    Manager().Plugins().SetSoundCheck(FailsWithoutSaying);
    EXPECT_EQ(Validate(head + "parts\n{\n}\n"), std::vector<std::string>{"- $tet_val_unreported_failure"});
    EXPECT_FALSE(passed_);
    Manager().Plugins().SetSoundCheck(nullptr);
    EXPECT_EQ(Validate(head).front(), "- $tet_container_missingcontainer CONT_NAME=parts");
}

// Two data managers in one process: each validates with the plug-ins given to it, none with the other's.
TEST_F(TemplateRulesTest, EachDataManagerValidatesWithItsOwnPlugIns)
{
    const std::string kinds =
        Block("needy", "top-level 1\n" +
                           Subs(Value("kuid", "kuid") + Value("kind", "string") + Value("velmar-build", "float")) +
                           Rule("soundisvalid"));
    UseTemplates({{"inheritance.txt", ""}, {"kind.txt", kinds}, {"container.txt", ""}});
    Manager().Plugins().SetSoundCheck(FailsWithoutSaying);
    TETLib::ErrorHandler otherErrors;
    std::unique_ptr<TETLib::DataManager> other = TETLib::DataManager::Create(root_ + "/TETData", otherErrors);
    ASSERT_TRUE(other);
    const std::string config = "kuid <kuid:900001:500>\nkind \"needy\"\nvelmar-build 3.7\n";
    WriteFile("asset/config.txt", config);
    ResultsLog log;
    TETLib::Container root(*other);
    EXPECT_FALSE(
        TETLib::ValidateConfig(root, Orvo::PString("local"), Orvo::File::Path(AssetFolder() + "config.txt"), log));
    // No sound check and no database answers on the other manager: the user id is not known either.
    EXPECT_EQ(Lines(log), (std::vector<std::string>{"- $tet_invalid_kuid_userid",
                                                    "- $tet_val_sound_check_unavailable CONT_NAME=needy"}));
    // The first manager keeps its own.
    EXPECT_EQ(Validate(config), std::vector<std::string>{"- $tet_val_unreported_failure"});
}

TEST_F(TemplateRulesTest, TemplateFaultsStopValidationWithAClearError)
{
    // A top-level kind "probe" whose one entry is this.
    auto probe = [](const std::string& entry) { return Block("probe", "top-level 1\n" + Subs(entry)); };
    const struct
    {
        const char* name;
        std::map<std::string, std::string> files;
        std::string finding;
    } cases[] = {
        {"syntax",
         {{"kind.txt", "probe\n{\n  top-level 1\n}\n}\n"}},
         "- The validation template file 'kind.txt' line 5: "},
        {"unknown base",
         {{"kind.txt", Block("a", Block("inherit", "nowhere\n"))}},
         "- The validation template 'a' inherits 'nowhere', which is not defined."},
        {"unknown rule",
         {{"kind.txt", probe(Value("x", "int", Rule("frob")))}},
         "- The validation template 'probe' (entry 'x') names the rule 'frob', which does not exist."},
        {"rule in the wrong place",
         {{"kind.txt", Block("probe", Rule("range", "min 0\nmax 1\n"))}},
         "- The validation template 'probe' names the tag rule 'range' where container rules belong."},
        {"rule without its parameter",
         {{"kind.txt", probe(Value("x", "int", Rule("range", "min 0\n")))}},
         "- The validation template 'probe' (entry 'x') gives the rule 'range' no 'max' parameter."},
        {"missing list",
         {{"kind.txt", probe(Value("x", "combobox", "source \"nope.txt\"\n"))}},
         "- The validation template 'probe' (entry 'x') takes its choices from the list 'nope.txt', which is not in "
         "the validation data's lists folder."},
        {"unknown type",
         {{"kind.txt", probe(Value("x", "integer"))}},
         "- The validation template 'probe' (entry 'x') has the type 'integer', which this program does not know."},
        {"unknown element type",
         {{"kind.txt", probe(Entry("x", "element", "element-type \"gone\"\n"))}},
         "- The validation template 'probe' (entry 'x') names the element type 'gone', which is not defined."},
    };
    for (const auto& c : cases)
    {
        std::map<std::string, std::string> files = {{"inheritance.txt", ""}, {"container.txt", ""}};
        for (const auto& [name, text] : c.files) files[name] = text;
        UseTemplates(files);
        const std::vector<std::string> findings = Validate(Probe(""));
        ASSERT_FALSE(findings.empty()) << c.name;
        EXPECT_EQ(findings[0].substr(0, c.finding.size()), c.finding) << c.name;
        for (const std::string& f : findings) EXPECT_EQ(f.substr(0, 2), "- ") << c.name;
        EXPECT_FALSE(passed_) << c.name;
    }
}

}  // namespace
}  // namespace validation_test
