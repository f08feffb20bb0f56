#include "render/materials/MaterialTypes.h"

#include <array>
#include <string>

using namespace Orvo;

namespace {

struct TypeEntry
{
    PString token;
    PString name;
    UId id;
};

const TypeEntry& Entry(VelmarMaterialType type)
{
    static const auto table = [] {
        const struct
        {
            const char* token;
            const char* id;
        } texts[] = {
            {"tbumpcoltex", "5664ACF0-6344-4f1a-8D9C-B9E4EF8413CF"},
            {"tbumpglosscol", "567CCE9E-0455-41b5-AEAC-7B1DAEE825E3"},
            {"tgroundonetex", "DA44C646-FC2D-4c53-B72D-198C105678FD"},
            {"tgroundonetexvs", "098CAC93-B655-4927-843A-EBA2B2E462B5"},
            {"tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E"},
            {"tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD"},
            {"tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03"},
            {"tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626"},
            {"tglossrust", "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712"},
            {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7"},
            {"nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA"},
            {"groundbase", "C271BEBB-D17E-4ebe-9582-D531F1E23727"},
        };
        std::array<TypeEntry, std::size(texts)> out;
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = {PString(texts[i].token), PString(std::string("m.") + texts[i].token), UId(texts[i].id)};
        return out;
    }();
    return table[static_cast<size_t>(type)];
}

}  // namespace

const PString& MaterialTypeToken(VelmarMaterialType type) { return Entry(type).token; }
const PString& MaterialTypeNameOf(VelmarMaterialType type) { return Entry(type).name; }
const UId& MaterialTypeId(VelmarMaterialType type) { return Entry(type).id; }
