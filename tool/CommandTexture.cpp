// "compresstexture <folder>": compiles every texture description below the folder for the default targets.
#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "textures/TextureConversion.h"
#include "textures/TextureTargets.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

int CompressTextureCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing AssetID parameter.");
        return -1;
    }
    const Orvo::File::Path folder = ResolveArgumentPath(tool, args.Arg(2));
    return ConvertArchiveTextures("", folder, DefaultTextureTargets(), log) == kTexturesConverted ? 0 : -1;
}
