// Templates written by the tests: the template forms and rules our own templates do not use, and the
// template faults that must stop validation with a clear error instead of a silent pass.
#include "ValidationTestSupport.h"

namespace validation_test {
namespace {

// A template file from "name { ... }" blocks written compactly: entries as "name type [extra]".
const char* kProbeTemplates = R"(probe-base
{
  inherit
  {
    level1
  }
  subpossibilities
  {
    kuid
    {
      kind "value"
      type "kuid"
    }
    kind
    {
      kind "value"
      type "string"
    }
    velmar-build
    {
      kind "value"
      type "float"
    }
    type
    {
      kind "value"
      type "string"
    }
    marker
    {
      kind "value"
      type "string"
      validation
      {
        istracksidetype
        {
        }
      }
    }
    wheels
    {
      kind "value"
      type "int"
      validation
      {
        isnottraincar
        {
        }
      }
    }
    collated
    {
      kind "value"
      type "string"
      validation
      {
        needcollatemeshes
        {
        }
      }
    }
    collate-meshes
    {
      kind "value"
      type "bool"
    }
    token
    {
      kind "value"
      type "string-token"
      compulsory 1
    }
    spots
    {
      kind "value"
      type "floatlist"
      validation
      {
        arraymaxsize
        {
          size 2
        }
      }
    }
    ref
    {
      kind "value"
      type "kuidbrowser"
    }
    track0
    {
      kind "value"
      type "kuid"
      sequence 1
    }
    light0
    {
      kind "value"
      type "float"
    }
    string-table
    {
      kind "table"
      container-type0 "table"
    }
    names
    {
      kind "names"
      container-type0 "names"
    }
    parts
    {
      kind "element"
      element-type "parts"
    }
    lights
    {
      kind "lights"
      container-type0 "lights"
    }
    lamps
    {
      kind "lamps"
      container-type0 "lamps"
    }
    member
    {
      kind "member"
      container-type0 "member"
    }
  }
}
level1
{
  inherit
  {
    level2
  }
}
level2
{
  subpossibilities
  {
    deep
    {
      kind "value"
      type "int"
    }
  }
}
table
{
  tagarray
  {
    kind "value"
    type "string"
  }
}
names
{
  tagarray
  {
    kind "value"
    type "doublestring"
  }
}
parts
{
  subpossibilities
  {
    numbered
    {
      kind "light"
      container-type0 "light"
      numarray 1
    }
  }
}
lights
{
  array-element
  {
    container-type0 "light"
  }
}
light
{
  subpossibilities
  {
    x
    {
      kind "value"
      type "float"
    }
  }
}
lamps
{
  array-element
  {
    container-type0 "lamp"
  }
}
lamp
{
  subpossibilities
  {
    light-ref
    {
      kind "value"
      type "string"
      validation
      {
        mustbeinlightcontainer
        {
        }
      }
    }
  }
}
member
{
  subpossibilities
  {
    username
    {
      kind "value"
      type "string"
      compulsory 1
    }
  }
}
smoke
{
  icon "smoke"
  subpossibilities
  {
    attachment
    {
      kind "value"
      type "string"
    }
    file
    {
      kind "value"
      type "string"
    }
    rate
    {
      kind "value"
      type "float"
      compulsory 1
    }
    velocity
    {
      kind "value"
      type "float"
      compulsory 1
    }
  }
}
)";

const char* kProbeKinds = "probe\n{\n  top-level 1\n  inherit\n  {\n    probe-base\n  }\n}\n"
                          "traincar\n{\n  top-level 1\n  inherit\n  {\n    probe-base\n  }\n}\n";

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
    const std::string kinds = "needy\n{\n  top-level 1\n  subpossibilities\n  {\n"
                              "    kuid\n    {\n      kind \"value\"\n      type \"kuid\"\n    }\n"
                              "    kind\n    {\n      kind \"value\"\n      type \"string\"\n    }\n"
                              "    velmar-build\n    {\n      kind \"value\"\n      type \"float\"\n    }\n"
                              "    parts\n    {\n      kind \"parts\"\n      container-type0 \"parts\"\n"
                              "      element-type \"parts\"\n      compulsory 1\n    }\n  }\n"
                              "  validation\n  {\n    soundisvalid\n    {\n    }\n  }\n}\n";
    UseTemplates({{"inheritance.txt", ""}, {"kind.txt", kinds}, {"container.txt", "parts\n{\n}\n"}});
    const std::string head = "kuid <kuid:900001:500>\nkind \"needy\"\nvelmar-build 3.7\n";
    // Without a sound check the template's rule cannot be honoured: an error says so.
    EXPECT_EQ(Validate(head + "parts\n{\n}\n"),
              std::vector<std::string>{"- $tet_val_sound_check_unavailable CONT_NAME=needy"});
    // A check that fails and reports nothing still fails the asset, with a finding that says so.
    TETLib::SetSoundCheck(FailsWithoutSaying);
    EXPECT_EQ(Validate(head + "parts\n{\n}\n"), std::vector<std::string>{"- $tet_val_unreported_failure"});
    EXPECT_FALSE(passed_);
    TETLib::SetSoundCheck(nullptr);
    EXPECT_EQ(Validate(head).front(), "- $tet_container_missingcontainer CONT_NAME=parts");
}

TEST_F(TemplateRulesTest, TemplateFaultsStopValidationWithAClearError)
{
    const std::string kind = "probe\n{\n  top-level 1\n  subpossibilities\n  {\n";
    const struct
    {
        const char* name;
        std::map<std::string, std::string> files;
        std::string finding;
    } cases[] = {
        {"syntax",
         {{"kind.txt", "probe\n{\n  top-level 1\n}\n}\n"}},
         "- The validation template file 'kind.txt' line 5: "},
        {"circle",
         {{"kind.txt", "a\n{\n  inherit\n  {\n    b\n  }\n}\nb\n{\n  inherit\n  {\n    a\n  }\n}\n"}},
         "- The validation templates inherit in a circle: a -> b -> a."},
        {"unknown base",
         {{"kind.txt", "a\n{\n  inherit\n  {\n    nowhere\n  }\n}\n"}},
         "- The validation template 'a' inherits 'nowhere', which is not defined."},
        {"unknown rule",
         {{"kind.txt", kind + "    x\n    {\n      kind \"value\"\n      type \"int\"\n      validation\n      {\n     "
                              "   frob\n        {\n        }\n      }\n    }\n  }\n}\n"}},
         "- The validation template 'probe' (entry 'x') names the rule 'frob', which does not exist."},
        {"rule in the wrong place",
         {{"kind.txt", "probe\n{\n  validation\n  {\n    range\n    {\n      min 0\n      max 1\n    }\n  }\n}\n"}},
         "- The validation template 'probe' names the tag rule 'range' where container rules belong."},
        {"rule without its parameter",
         {{"kind.txt", kind + "    x\n    {\n      kind \"value\"\n      type \"int\"\n      validation\n      {\n     "
                              "   range\n        {\n          min 0\n        }\n      }\n    }\n  }\n}\n"}},
         "- The validation template 'probe' (entry 'x') gives the rule 'range' no 'max' parameter."},
        {"missing list",
         {{"kind.txt", kind + "    x\n    {\n      kind \"value\"\n      type \"combobox\"\n      source "
                              "\"nope.txt\"\n    }\n  }\n}\n"}},
         "- The validation template 'probe' (entry 'x') takes its choices from the list 'nope.txt', which is not in "
         "the validation data's lists folder."},
        {"unknown type",
         {{"kind.txt", kind + "    x\n    {\n      kind \"value\"\n      type \"integer\"\n    }\n  }\n}\n"}},
         "- The validation template 'probe' (entry 'x') has the type 'integer', which this program does not know."},
        {"unknown element type",
         {{"kind.txt", kind + "    x\n    {\n      kind \"element\"\n      element-type \"gone\"\n    }\n  }\n}\n"}},
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
