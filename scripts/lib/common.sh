# Shared by the scripts: the private X display and the Wine prefixes of a build tree.
# Source it; it defines functions and changes nothing by itself.

BEXLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko download prompts in a fresh prefix: they would wait for a click.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Starts a private Xvfb when no display is set. Sets BEXLO_XVFB_PID when it started one.
bexlo_ensure_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$fdfile" 2>/dev/null &
    BEXLO_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        if [ -s "$fdfile" ]; then
            export DISPLAY=":$(head -n 1 "$fdfile")"
            rm -f "$fdfile"
            return 0
        fi
        sleep 0.1
    done
    rm -f "$fdfile"
    echo "Xvfb did not start" >&2
    return 1
}

bexlo_stop_display() {
    if [ -n "${BEXLO_XVFB_PID:-}" ]; then
        kill "$BEXLO_XVFB_PID" 2>/dev/null
        wait "$BEXLO_XVFB_PID" 2>/dev/null
        unset BEXLO_XVFB_PID
    fi
}

# Creates the Wine prefix $1 once; later calls return at once. With "desktop" as $2 its windows
# live in one virtual desktop window: with no window manager on a private display, hiding a
# top-level X window costs Wine a two-second wait, a desktop window none.
bexlo_wine_prefix() {
    local prefix=$1 desktop=${2:-}
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        # The mark names how the prefix was set up, so a changed recipe makes it anew.
        local mark="bexlo prefix 2 $desktop"
        [ "$(cat "$prefix/.bexlo-ready" 2>/dev/null)" = "$mark" ] && exit 0
        rm -rf "$prefix"
        WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1
        # A crashing program must end, not wait behind a crash dialog.
        WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
            /t REG_DWORD /d 0 /f >/dev/null 2>&1
        if [ "$desktop" = desktop ]; then
            WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop \
                /d Default /f >/dev/null 2>&1
            WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default \
                /d 1280x1024 /f >/dev/null 2>&1
        fi
        WINEPREFIX="$prefix" wineserver -w
        echo "$mark" >"$prefix/.bexlo-ready"
    ) 9>"$prefix.lock"
}

# Keeps a wineserver running for the prefix so that every start after the first is quick, with
# the prefix's services up before any window: a desktop started together with them may find no
# service manager, and then never serves the desktop's shell to other programs.
bexlo_wineserver_persist() {
    WINEPREFIX="$1" wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX="$1" wine cmd /c exit </dev/null >/dev/null 2>&1
}

bexlo_wineserver_stop() {
    local prefix
    for prefix in "$@"; do
        [ -d "$prefix" ] || continue
        # Wine takes only an absolute prefix.
        prefix=$(realpath "$prefix")
        WINEPREFIX="$prefix" wineserver -k 2>/dev/null
        # A client still shutting down may start a server again; wait until that one is gone.
        WINEPREFIX="$prefix" timeout 20 wineserver -w 2>/dev/null
    done
    return 0
}

# Maps drive letters in a prefix whose wineserver is not running: each "letter:type:serial"
# (type hd, floppy for removable, cdrom or network; serial in 8 hex digits) becomes a folder
# below $2 with that volume serial. Letters D: to Y: not asked for are unmapped.
bexlo_map_drives() {
    local prefix=$1 folders=$2 mapping letter type serial
    shift 2
    rm -f "$prefix/dosdevices/"[d-y]:
    for mapping in "$@"; do
        IFS=: read -r letter type serial <<<"$mapping"
        mkdir -p "$folders/$letter"
        printf '%s\n' "$serial" >"$folders/$letter/.windows-serial"
        ln -s "$folders/$letter" "$prefix/dosdevices/$letter:"
    done
    for mapping in "$@"; do
        IFS=: read -r letter type serial <<<"$mapping"
        WINEPREFIX="$prefix" wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" \
            /f >/dev/null 2>&1
    done
    # Drive types are read when the prefix's services start: let this server go first.
    WINEPREFIX="$prefix" wineserver -w
}

# Sets the display scale of the prefix $1, whose wineserver is not running, to $2 dots per inch
# (96 is 100 %); the next wineserver reads it.
bexlo_set_log_pixels() {
    local prefix=$1 dpi=$2 key
    for key in 'HKCU\Control Panel\Desktop' \
        'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        WINEPREFIX="$prefix" wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f \
            >/dev/null 2>&1
    done
    WINEPREFIX="$prefix" wineserver -w
}

# Windows path of a file of this machine (Wine maps / to Z:).
bexlo_windows_path() {
    printf 'Z:%s' "$(realpath "$1" | tr / '\\')"
}

# Starts `program` (a Windows executable, with its arguments) in the prefix, waits until its main
# dialog is on the screen and painted, photographs the screen into `png` and the dialog alone into
# `png` with "-dialog" before ".png", and leaves the program running. Needs DISPLAY.
bexlo_start_and_shoot() {
    local prefix=$1 png=$2
    shift 2
    WINEPREFIX="$prefix" wine "$@" >/dev/null 2>&1 &
    local i
    for i in $(seq 1 300); do
        if xwininfo -root -tree 2>/dev/null | grep -q '"Bexlo": '; then
            break
        fi
        sleep 0.1
    done
    mkdir -p "$(dirname "$png")"
    local geometry width height x y
    if ! geometry=$(xwininfo -name Bexlo 2>/dev/null); then
        import -window root "$png"
        return 0
    fi
    width=$(awk '/Width:/ {print $2}' <<<"$geometry")
    height=$(awk '/Height:/ {print $2}' <<<"$geometry")
    x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
    y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
    # The dialog is painted once it has more than one colour and three pictures in a row are the
    # same; after 20 s the last picture stands.
    local crop="${png%.png}-dialog.png" previous="" current same=0
    for i in $(seq 1 60); do
        import -window root "$png"
        convert "$png" -crop "${width}x${height}+${x}+${y}" +repage "$crop"
        current=$(convert "$crop" rgb:- | md5sum)
        if [ "$current" = "$previous" ]; then
            same=$((same + 1))
        else
            same=0
        fi
        previous=$current
        if [ "$same" -ge 2 ] && [ "$(identify -format '%k' "$crop")" -gt 1 ]; then
            break
        fi
        sleep 0.3
    done
}

# Presses the button of the simulated enclosure with drive letter $2, whose state file is $1,
# with the simulator command $4... (BexloSim and the arguments before "press"), until the command
# named $3 says a run has begun. The program drains presses for 1.5 s after it starts and after
# each run, so a press the enclosure has handed over with no run following is made again.
bexlo_press_until_run() {
    local state=$1 letter=$2 started=$3
    shift 3
    local attempt i
    for attempt in 1 2 3 4 5; do
        "$@" press "$letter" >/dev/null 2>&1
        for i in $(seq 1 150); do
            "$started" && return 0
            grep -q "letters=[A-Z]*$letter.* presses=0" "$state" && break
            sleep 0.2
        done
        # Handed over: a run that takes it shows its window within seconds.
        for i in $(seq 1 50); do
            "$started" && return 0
            sleep 0.2
        done
    done
    return 1
}

# Ends every copy of the program in the prefix.
bexlo_end_program() {
    WINEPREFIX="$1" wine taskkill /f /im Bexlo.exe >/dev/null 2>&1
    return 0
}

# UTF-16LE without a byte-order mark, as the program's own files are written.
bexlo_utf16() {
    printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE
}

# Saves a backup choice in the prefix's data folder as the program's Save does, unless one is
# saved already: destination $2, sources $4...; and, unless there is one, the record of a Copy
# backup onto the volume with serial $3 (8 hex digits), so that the first press is not refused
# as going to another volume.
bexlo_seed_saved_choice() {
    local prefix=$1 target=$2 serial=$3
    shift 3
    local data="$prefix/drive_c/Program Files/Travenor/BXL"
    mkdir -p "$data"
    if [ ! -f "$data/path.txt" ]; then
        # The sources' identities belong to the list they were saved with.
        rm -f "$data/SourceIds.txt"
        {
            bexlo_utf16 "[TARGET_PATH]"$'\n'"[ 0] #$target"$'\n\n'
            bexlo_utf16 "$(printf '[SOURCE_PATH_%2d]' $#)"
            local i=1 source
            for source in "$@"; do
                bexlo_utf16 "$(printf '\n[%2d] #' $i)$source$(printf '# [%2d]' $i)"$'\n'
                i=$((i + 1))
            done
        } >"$data/path.txt"
        echo "saved the demo choice: $* -> $target"
    fi
    [ -f "$data/SerailNo.txt" ] || bexlo_seed_backup_record "$prefix" "$serial" COPY
}

# Writes the record of a backup of type $3 (COPY or SYNC) onto the volume with serial $2 (8 hex
# digits) into the prefix's data folder, as a run leaves it: the program starts in that mode.
bexlo_seed_backup_record() {
    local data="$1/drive_c/Program Files/Travenor/BXL" value=$((16#$2))
    mkdir -p "$data"
    {
        bexlo_utf16 "BackupType = $3"$'\n\n'"SerialNum = $(printf '%5d %5d' \
            $((value >> 16)) $((value & 0xFFFF)))"
        head -c 16 /dev/zero
    } >"$data/SerailNo.txt"
}

# Installs what is missing, builds windows-x64 and starts a private X display that goes, with the
# build's wineservers, when the calling script ends. Run from the repository's top folder.
bexlo_windows_x64_on_private_display() {
    scripts/bootstrap.sh || return 1
    echo "== build windows-x64"
    cmake --preset windows-x64 >/dev/null || return 1
    cmake --build --preset windows-x64 || return 1
    trap 'bexlo_wineserver_stop build/windows-x64/wine/*prefix*/; bexlo_stop_display' EXIT
    unset DISPLAY
    bexlo_ensure_display
}

# The benchmarks' figures: the time now in seconds, the median of the arguments, and $1 / $2.
bexlo_now() { date +%s.%N; }
bexlo_median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
bexlo_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }

# The benchmarks' usual tree: 5,000 files of 4 KiB of random bytes in 50 folders under $1,
# "folder00\file000.dat" to "folder49\file099.dat"; or 100 files of $3 bytes in each of $2
# folders, numbered with as many digits as the last needs.
bexlo_make_small_files() {
    python3 - "$1" "${2:-50}" "${3:-4096}" <<'PY'
import os, sys
folders, size = int(sys.argv[2]), int(sys.argv[3])
for folder in range(folders):
    path = os.path.join(sys.argv[1], "folder%0*d" % (len(str(folders - 1)), folder))
    os.makedirs(path)
    for number in range(100):
        with open(os.path.join(path, "file%03d.dat" % number), "wb") as out:
            out.write(os.urandom(size))
PY
}
