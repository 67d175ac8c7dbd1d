#!/usr/bin/env bash
# Checks the shipping x86 build's vendor-call wrappers in their machine code: after each call into
# a vendor library, nothing may go through the stack pointer (no memory operand on %esp, no push,
# pop, call or ret) until the stack pointer is taken back from the frame (leave, or %esp set from
# %ebp). Then a library that uses the other calling convention cannot derail the program.
# Usage: vendor-calls.sh OBJDUMP OBJECT...
set -u
objdump=$1
shift
object=""
for candidate in "$@"; do
    case "$candidate" in *WindowsDeviceSeam.cpp.obj) object=$candidate ;; esac
done
if [ -z "$object" ]; then
    echo "vendor-calls: the device seam's object file was not given" >&2
    exit 1
fi
"$objdump" -d -C --no-show-raw-insn "$object" | awk '
    /^[0-9a-f]+ <.*>:$/ {
        inWrapper = index($0, "bexlo::CallVendor") > 0
        if (inWrapper) { wrappers++; afterCall = 0; name = $0 }
        next
    }
    !inWrapper { next }
    {
        line = $0
        sub(/^ *[0-9a-f]+:[ \t]*/, "", line)
        if (afterCall) {
            if (line ~ /^leave/ || line ~ /^mov +%ebp,%esp/ || line ~ /^lea +-?(0x[0-9a-f]+)?\(%ebp\),%esp/) {
                afterCall = 0
                restored++
                next
            }
            if (line ~ /\(%esp/ || line ~ /^(push|pop|call|ret)/) {
                print "vendor-calls: " name " uses the stack pointer before restoring it: " line
                bad++
            }
            next
        }
        if (line ~ /^call/) { afterCall = 1; calls++ }
    }
    END {
        printf "vendor-calls: %d wrappers, %d vendor calls, %d restored from the frame\n", wrappers, calls, restored
        if (wrappers < 10 || calls != wrappers || restored != calls || bad > 0) { exit 1 }
    }'
