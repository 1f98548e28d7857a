#!/usr/bin/env bash
# The layering check passes on the tree, and fails, naming the file and the layer, on each
# include that crosses a layer the wrong way, planted in a copy of the tree.
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/scripts/check-layers" "$root" >/dev/null

status=0
plant() { # file, include, the message expected
  rm -rf "$work/tree"
  mkdir -p "$work/tree"
  cp -r "$root"/{app,windows,logger,chart,link,widgets,serial,core,tools} "$work/tree/"
  echo "#include \"$2\"" >>"$work/tree/$1"
  if "$root/scripts/check-layers" "$work/tree" 2>"$work/err"; then
    echo "FAIL: $1 including $2 passed the check"
    status=1
  elif ! grep -qF "$3" "$work/err"; then
    echo "FAIL: $1 including $2: expected \"$3\", got: $(cat "$work/err")"
    status=1
  fi
}
plant link/Frames.h widgets/AbLED.h "link/Frames.h:"
plant link/DeviceLink.cpp windows/Unit1NC.h "link may not include windows/Unit1NC.h"
plant chart/LogReader.cpp link/DataLog.h "chart may not include link/DataLog.h"
plant widgets/AbLED.cpp serial/VaComm.h "widgets may not include serial/VaComm.h"
plant serial/VaComm.cpp link/Frames.h "serial may not include link/Frames.h"
plant core/Numbers.cpp widgets/_GClass.h "core may not include widgets/_GClass.h"
plant logger/UegoLog.cpp widgets/AbLED.h "logger may not include widgets/AbLED.h"
plant tools/SimMain.cpp serial/VaComm.h "tools may not include serial/VaComm.h"
plant link/DeviceLink.cpp serial/VaCommInternal.h "serial/VaCommInternal.h is the port component's own"
plant windows/Unit1NC.cpp serial/VaCommReceiver.h "serial/VaCommReceiver.h is the port component's own"
exit $status
