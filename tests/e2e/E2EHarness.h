#pragma once
// The end-to-end harness: a temporary installation root made from the staged executables, in which the
// real VelmarUtil runs as a user would run it. Each test makes its own root, so tests run in parallel.
//
//   <root>/bin/         hard links (or copies) of the staged executables, copies of their data files
//   <root>/builtin/     the built-in sample pack (data/samples/builtin)
//   <root>/UserData/    empty
//
// The daemon is started by the tool itself (auto-start) or by StartDaemon(); the destructor ends every
// daemon and tool process of the root and removes the root.
#include <map>
#include <string>
#include <vector>

namespace e2e {

struct RunResult {
    int exitCode = -1;   // the low 8 bits, as the system keeps them; 128 + signal when killed
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::map<std::string, std::string> env; // added to (or replacing in) the test's environment
    std::string workDir;                    // empty: the root
    int timeoutMs = 60000;
};

class InstallRoot {
public:
    InstallRoot();
    ~InstallRoot();
    InstallRoot(const InstallRoot&) = delete;
    InstallRoot& operator=(const InstallRoot&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }
    std::string Tool() const { return Path("bin/VelmarUtil"); }

    // Runs <root>/bin/VelmarUtil with these arguments (argv[1..]).
    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) const;
    // Runs any program.
    static RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const RunOptions& options);

    // Starts <root>/bin/VADDaemon and waits until it reports itself ready. False when it does not.
    bool StartDaemon();
    // True while a daemon of this root runs.
    bool DaemonRunning() const;
    // Ends every daemon and tool process of this root (SIGTERM, then SIGKILL).
    void StopProcesses();

    void WriteFile(const std::string& relative, const std::string& text) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

    // The source tree's data/samples folder and the expected-output folder of these tests.
    static std::string SamplesDir();
    static std::string ExpectedDir();

private:
    std::string m_root;
};

// Lines of a text (without their line ends); a last line without a line end counts too.
std::vector<std::string> Lines(const std::string& text);
std::string ReadWholeFile(const std::string& path);

} // namespace e2e
