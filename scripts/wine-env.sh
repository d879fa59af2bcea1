# Sourced by the scripts that run Windows programs under Wine, from the repository root:
# exports WINEPREFIX and WINEDEBUG and makes the prefix when it is missing.
# The same prefix as the mingw test preset's. A new one is made without Mono and Gecko
# (nothing here needs .NET or HTML) and 64-bit only; wineserver -w waits for the start-up
# programs that wineboot leaves behind.
WINEPREFIX="$PWD/build/mingw/wineprefix"
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p build/mingw
    if ! WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wine wineboot --init \
        </dev/null >build/mingw/wineboot.log 2>&1; then
        cat build/mingw/wineboot.log
        echo "Setting up the Wine prefix failed"
        exit 1
    fi
fi
timeout 120 wineserver -w
