#include "render/VelmarGeometryBaseResource.h"

std::string VelmarGeometryBaseResource::GetNameFolder() const
{
    const std::string name = ConvertResourceName(GetName().View());
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}
