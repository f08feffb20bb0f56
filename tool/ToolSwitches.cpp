#include "tool/ToolSwitches.h"

#include "engine/TextCase.h"

ToolSwitches CollectToolSwitches(int argc, char** argv)
{
    ToolSwitches s;
    for (int i = 0; i < argc; ++i)
    {
        if (argv[i] == nullptr) continue;
        std::string word(argv[i]);
        Orvo::LowerInPlace(word);
        if (word == "norender")
            s.noRender = true;
        else if (word == "-orvolog")
            s.engineLogToConsole = true;
        else if (word == "-nostartvaddaemon")
            s.startDaemon = false;
        else if (word == "-novadclient")
            s.databaseClient = false;
        else if (word == "closevaddaemon")
            s.closeDaemonRun = true;
    }
    return s;
}

std::string BuildEngineOptionText(const ToolSwitches& switches)
{
    std::string text = switches.noRender ? "-NullRender " : "-render=OpenGL -hidewindow ";
    text += switches.engineLogToConsole ? "-LogStdOut " : "-LogFile=/dev/null ";
    return text;
}
