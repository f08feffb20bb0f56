// UserData on an ext4 with 128-byte inodes (whole-second timestamps; a loop mount in a namespace of the run's own),
// backups on a tmpfs. A program rewrites an edit folder's file in place, same size, every 2 ms while a commit, revert
// or delete takes the folder within that second: its last version (for a revert, written after it) is kept somewhere.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace e2e {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Rewrites doc.txt in its current folder in place (4096 bytes: the line "$2-N", then spaces) every 2 ms until the
// file $1 is there, saying each version written ("taken $2-N" once the folder had left its path $3) or "failed".
constexpr char kRewriter[] = R"(i=0
while [ ! -e "$1" ] && [ $i -lt 3000 ]; do
  t=; [ -e "$3" ] || t="taken "
  { printf '%s\n%*s' "$2-$i" $((4095 - ${#2} - 1 - ${#i})) '' >doc.txt; } 2>/dev/null && echo "$t$2-$i" || echo failed
  i=$((i+1)); sleep 0.002
done
)";

// For each command: the rewriter started in the edit folder, the command run at the start of a second, the rewriter
// let go on a few rounds; then whether its last version is found below UserData.
constexpr char kRounds[] = R"sh(R="$1"; W="$2"; K="$3"; T="$R/bin/VelmarUtil"; E="$R/UserData/editing/kuid 900700 1"
PATH="$PATH:/sbin:/usr/sbin"
truncate -s 32M "$W/userdata.img" && mkfs.ext4 -q -F -I 128 "$W/userdata.img" >/dev/null 2>&1 ||
  { echo "no ext4 image could be made" >&2; exit 77; }
mount -o loop "$W/userdata.img" "$R/UserData" && mkdir "$R/UserData/backups" &&
  mount -t tmpfs -o size=16m tmpfs "$R/UserData/backups" || exit 77
"$T" installfrompath doc >/dev/null || echo "install failed"
for c in commit revert delete; do
  S="$W/said-$c.txt"
  "$T" edit "$K" >/dev/null || echo "$c: edit failed"
  (cd "$E" && exec sh "$W/rewriter.sh" "$W/stop-$c" "$c" "$E") >"$S" &
  n=0; while [ "$(wc -l <"$S")" -lt 3 ] && [ $n -lt 1000 ]; do sleep 0.01; n=$((n+1)); done
  s=$(date +%s); while [ "$(date +%s)" = "$s" ]; do :; done
  "$T" "$c" "$K" >"$W/out-$c.txt"; echo "$c exit $?"
  m=$(($(wc -l <"$S") + 10)); n=0; while [ "$(wc -l <"$S")" -lt $m ] && [ $n -lt 300 ]; do sleep 0.01; n=$((n+1)); done
  touch "$W/stop-$c"; wait
  if [ $c = revert ]; then last=$(grep taken "$S" | tail -n 1); else last=$(grep -v failed "$S" | tail -n 1); fi
  last=${last#taken }
  if [ -z "$last" ] || grep -rqx -- "$last" "$R/UserData"; then echo "$c: found"; else echo "$c: lost $last"; fi
done
"$T" closevaddaemon >/dev/null 2>&1
exit 0
)sh";

TEST(CoarseStampsE2E, ARewriteWithinTheFileSystemsTickIsInstalledOrKept)
{
    InstallRoot root;
    const std::string work = root.Path("work");
    root.WriteFile("work/rewriter.sh", kRewriter);
    root.WriteFile("work/doc/config.txt", "kuid <kuid:900700:1>\nusername \"doc\"\nkind \"scenery\"\n");
    root.WriteFile("work/doc/doc.txt", std::string(4096, 'd'));
    const RunResult r = RunInMountNamespace(kRounds, {root.Root(), work, "<kuid:900700:1>"}, RunOptions::In(work));
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount an ext4 image from a loop device here: " << r.err;
    for (const std::string command : {"commit", "revert", "delete"})
    {
        SCOPED_TRACE(command);
        const std::string out = root.ReadFile("work/out-" + command + ".txt");
        EXPECT_TRUE(Has(r.out, command + " exit 0\n")) << r.out << out;
        EXPECT_TRUE(Has(r.out, command + ": found\n")) << r.out << out;
        EXPECT_GT(Lines(root.ReadFile("work/said-" + command + ".txt")).size(), 3u);
    }
}

}  // namespace
}  // namespace e2e
