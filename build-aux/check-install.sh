#!/usr/bin/env bash
# check-install.sh BUILD STAGE: installs BUILD into a temporary prefix and fails unless the prefix holds the
# programs and their data files in bin/ and nothing else: no database, no UserData/, whatever the stage
# holds beside its bin/. CTest runs it as InstallHoldsProgramOnly.
set -euo pipefail
build="$1"
stage="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
# The stage has a UserData/ as soon as the staged programs have run; make sure it has one for the check.
mkdir -p "$stage/UserData"
cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
for f in bin/VelmarUtil bin/VADDaemon bin/InterfaceText.txt bin/TETData; do
  [ -e "$prefix/$f" ] || { echo "missing from the installation: $f"; status=1; }
done
for f in bin/VelmarUtil bin/VADDaemon; do
  [ -x "$prefix/$f" ] || { echo "not executable in the installation: $f"; status=1; }
done
extra="$(cd "$prefix" && find . -mindepth 1 -maxdepth 1 ! -name bin)"
if [ -n "$extra" ]; then
  echo "the installation holds more than bin/:"
  echo "$extra"
  status=1
fi
exit $status
