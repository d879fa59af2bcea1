# Sourced by the scripts that run Windows programs under Wine, from the repository root:
# exports WINEPREFIX and WINEDEBUG, defines wine_run and makes the prefix when it is missing.
# The prefix is the mingw test preset's, or the folder that wine_prefix names. A new one is
# made without Mono and Gecko (nothing here needs .NET or HTML) and 64-bit only; wineserver -w
# waits for the start-up programs that wineboot leaves behind before the tests' wineserver
# starts.
WINEPREFIX="${wine_prefix:-$PWD/build/mingw/wineprefix}"
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
# Runs a Windows program under Wine, and once more when Wine failed to start it.
wine_run() { python3 -B tests/windows/wine_run.py wine "$@"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    if ! WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 \
        python3 -B tests/windows/wine_run.py wine wineboot --init \
        </dev/null >"$WINEPREFIX.wineboot.log" 2>&1; then
        cat "$WINEPREFIX.wineboot.log"
        echo "Setting up the Wine prefix failed"
        exit 1
    fi
    grep '; trying once more$' "$WINEPREFIX.wineboot.log" || :
fi
timeout 120 wineserver -w
# Debian's wineserver ends as soon as no program runs, so every run of a series started a new
# one and Wine's services with it; this one stays 3 s after the last program, as upstream
# Wine's does, which carries it over to the next run.
wineserver -p3
