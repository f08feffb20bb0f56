// A power cut the moment a command says OK. The outputs go to a small ext4 image loop-mounted in a mount namespace
// of the run's own (the work folder, UserData/packages and UserData/dls-parse are folders on it); right after each
// command the image is copied, as a cut would leave the disk, and the copy is mounted and compared with what is live.
// Without a flush the copy holds the names of new files with none of their bytes for half a minute.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// "$R" is the root, "$T" the tool; the sample assets are in "assets/" of the work folder. `run ARGS` runs the tool
// and cuts the power: it says "== ARGS : exit N" and then each difference between the cut copy and the live image,
// which stays mounted at "$R/cut" until `written FILE...` says which of these files were not written at all.
constexpr char kCutDisk[] = R"(R="$1" S="$2" T="$1/bin/VelmarUtil"
refused() { echo "$1" >&2; exit 77; }
truncate -s 32M "$R/disk.img" && mkfs.ext4 -q "$R/disk.img" >/dev/null 2>&1 || refused "mkfs.ext4 failed"
mkdir -p "$R/live" "$R/cut" "$R/UserData/packages" "$R/UserData/dls-parse"
mount -o loop "$R/disk.img" "$R/live" || refused "the image cannot be loop-mounted"
mkdir "$R/live/work" "$R/live/packages" "$R/live/dls-parse"
for f in work UserData/packages UserData/dls-parse; do
  mount --bind "$R/live/${f#UserData/}" "$R/$f" || refused "no bind mount"
done
cd "$R/work" && mkdir assets dls && cp -r "$S/signal-box" "$S/platform-mesh" "$S/brick-texture" assets/
printf 'class Good\n{\n  void f() { }\n};\n' > Good.gs
sync
say() { "$T" "$@" >"$R/said" 2>&1; echo "== $* : exit $?"; }
run() {
  say "$@"
  { cp "$R/disk.img" "$R/cut.img" && mount -o loop "$R/cut.img" "$R/cut"; } || echo "the image could not be cut"
  diff -rq "$R/live" "$R/cut"
}
written() { for f; do [ -s "$R/live/$f" ] || echo "not written: $f"; done; umount "$R/cut"; }
say installfrompath assets
)";

constexpr char kEnd[] = R"(
"$T" closevaddaemon >/dev/null 2>&1
cd / && umount -l "$R/work" "$R/UserData/packages" "$R/UserData/dls-parse" "$R/live"
exit 0
)";

class PowerCutE2E : public testing::Test
{
protected:
    void SetUp() override { fs::create_directories(root_.Path("work")); }

    RunResult CutAfterEach(const std::string& steps) const
    {
        RunOptions options = RunOptions::In(root_.Path("work"));
        options.timeoutMs = 240000;
        return RunInMountNamespace(kCutDisk + steps + kEnd, {root_.Root(), InstallRoot::SamplesDir()}, options);
    }

    // What went wrong: a command that did not exit 0, a difference in a cut copy, an output not written.
    static std::vector<std::string> Faults(const RunResult& r)
    {
        std::vector<std::string> faults = Lines(r.out);
        std::erase_if(faults,
                      [](const std::string& line) { return line.starts_with("== ") && line.ends_with(": exit 0"); });
        return faults;
    }

    InstallRoot root_;
};

TEST_F(PowerCutE2E, ExportedPackagesAreOnDiskWhenTheExportSaysOK)
{
    // The second export replaces the device copies of the first: the cut after it finds the new ones whole.
    const RunResult r = CutAfterEach(R"(
for targets in etc1 dxtc; do
  run export-package "$targets" pk "<kuid:900001:100>" "<kuid:900001:102>"
  written packages/pk/pk.cdp packages/pk/package.txt "packages/pk/kuid 900001 100/config.txt" \
    "packages/pk/kuid 900001 102/brick.texture"
done
)");
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "no loop-mounted ext4 image in a mount namespace here: " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Faults(r), std::vector<std::string>{}) << r.out;
}

TEST_F(PowerCutE2E, WhatACommandWroteIsOnDiskWhenItSaysOK)
{
    const RunResult r = CutAfterEach(R"(
run createcdp dls/pk.cdp "<kuid:900001:100>" "<kuid:900001:101>" "<kuid:900001:102>"
cp "$R/cut/work/dls/pk.cdp" "$R/pk-after-cut.cdp"
written work/dls/pk.cdp
run backupkeywords
written work/KeywordsBackup.dat
run listbuilds Builds.txt
written work/Builds.txt
run compile Good.gs
written work/Good.gsl
run encrypt Good.gs
written work/Good.gse
say dlsdeleteall
say installcdp "$R/pk-after-cut.cdp"
say dlsdeleteall
run dlsparse dls/pk.cdp
written "work/dls/kuid 900001 100.cdp" "work/dls/kuid 900001 102.cdp"
run dlsparsefolder assets
written dls-parse/SQL_Asset_0.txt dls-parse/SQL_AssetDependencies_0.txt dls-parse/kuids.txt \
  dls-parse/VELMAR2010-Builtin/buildingsstructures/900001_100.cdp
)");
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "no loop-mounted ext4 image in a mount namespace here: " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Faults(r), std::vector<std::string>{}) << r.out;
}

}  // namespace
}  // namespace e2e
