# Sourced by the scripts: installs the Debian packages the build and the tests
# need, and only when one is missing, so that a prepared machine stays quiet.
vf_install_deps() {
    local pkgs="cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 xvfb googletest ntfs-3g g++ python3"
    local missing=""
    for p in $pkgs; do
        dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null
    # shellcheck disable=SC2086
    apt-get install -y -qq $missing >/dev/null
}

# A fresh Wine prefix inside the build directory and one persistent wineserver
# for the whole run; the caller ends it with vf_wine_stop. With a size such as
# 1024x768 every program of the prefix runs in one Wine virtual desktop.
#   vf_wine_start PREFIX [DESKTOP_SIZE]
vf_wine_start() {
    export WINEPREFIX="$1"
    local desktop="${2:-}"
    export WINEDEBUG=-all
    # No prompts for the .NET and HTML runtimes: nothing here needs them.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The prefix is made by a server of its own, which is let go before the
    # persistent one starts: a prefix made under the persistent server can
    # end up with two service managers, each with its own view of services.
    # wineboot returns while the prefix's programs are still being laid out:
    # "wine reg" right after it can find no reg.exe on a loaded machine. On a
    # loaded machine it has also left no Windows folder at all, or one without kernel32, where
    # no program starts; again then.
    local attempt
    for attempt in 1 2 3; do
        wineboot -i >/dev/null 2>&1
        wineserver -w
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && break
    done
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    # A fresh prefix has none of Wine's own fonts: Marlett, Tahoma and
    # "MS Shell Dlg" fall back to a sans font, and Marlett's check marks and
    # caption-button glyphs print as letters.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # A program that crashes while DISPLAY is set would otherwise wait in the
    # crash dialog until the test's time-out.
    vf_wine_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    if [ -n "$desktop" ]; then
        # A virtual desktop from the registry, not "explorer /desktop": windows
        # get captions and frames, every process shares the one desktop, and a
        # plain "wine program" still waits and returns its exit status. The
        # desktop takes effect once the server below has let the prefix go.
        vf_wine_reg 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default
        vf_wine_reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d "$desktop"
    fi
    wineserver -w
    wineserver -p
    wineboot >/dev/null 2>&1
    # Wine's own services (services.exe, rpcss, plugplay, ...) end whenever no program of the
    # prefix runs, and the next program starts them again with its own output: a test that
    # happened to start them kept its output open, and its runner waiting, for minutes after
    # it ended. A program that idles until the prefix is stopped keeps them alive, started
    # here with no output of a test.
    setsid wine cmd.exe /c "ping -n 86400 127.0.0.1 >nul" </dev/null >/dev/null 2>&1 &
}

# Sets one value in the prefix's registry; quiet unless it fails. Wine now and then fails
# to start reg.exe in a prefix that is still settling ("Application could not be started");
# the value is written whole or not at all, so it is tried again.
vf_wine_reg() {
    local out try
    for try in 1 2 3; do
        out="$(wine reg add "$@" /f 2>&1)" && return 0
        sleep 1
    done
    echo "wine reg add $*: $out" >&2
    return 1
}

# A virtual X display of its own for the windows of the GUI tests: Xvfb picks
# the first free number (another display may be running already) and writes
# it once it accepts clients. The caller ends it with vf_xvfb_stop.
vf_xvfb_start() {
    VF_XVFB_DIR="$(mktemp -d)"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$VF_XVFB_DIR/display" >/dev/null 2>&1 &
    VF_XVFB_PID=$!
    local i
    for i in $(seq 100); do
        [ -s "$VF_XVFB_DIR/display" ] && break
        kill -0 "$VF_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$VF_XVFB_DIR/display" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$VF_XVFB_DIR/display")"
}

vf_xvfb_stop() {
    if [ -n "${VF_XVFB_PID:-}" ]; then
        kill "$VF_XVFB_PID" 2>/dev/null || true
        wait "$VF_XVFB_PID" 2>/dev/null || true
        VF_XVFB_PID=""
    fi
    [ -n "${VF_XVFB_DIR:-}" ] && rm -rf "$VF_XVFB_DIR"
    return 0
}

vf_wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
}

# Alive and not yet a zombie: a child that has ended stays in the process table until waited for.
vf_alive() {
    local state
    state="$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# A Unix path as the Windows programs see it: Wine maps / to Z:.
vf_winpath() {
    local path
    path="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    echo "Z:${path//\//\\}"
}

# Configures the build folder once; builds the targets named, or everything.
vf_configure_and_build() {
    local build="$1"
    shift
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
    fi
    if [ $# -gt 0 ]; then
        cmake --build "$build" --target "$@" -- --quiet
    else
        cmake --build "$build" -- --quiet
    fi
}
