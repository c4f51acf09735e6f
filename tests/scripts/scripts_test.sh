#!/usr/bin/env bash
# Runs one case of the install and skip logic that scripts/test stands on,
# against stand-ins for dpkg-query, dpkg, apt-get and cmake on PATH:
#
#   scripts_test.sh CASE
#
# The install rows call install_packages from scripts/packages with two
# groups of their own, A (pa, pb) and B (pc:i386), and compare every call
# made to dpkg and apt-get, the status and what could not be installed. The
# scripts/test rows run a copy of it whose cmake only writes the test log a
# row gives. TOLMARIX_SOURCE is the source tree; the rest of the
# environment is described in ../lib.sh.
set -u

name=${1:?usage: scripts_test.sh CASE}
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"
source_dir=${TOLMARIX_SOURCE:?TOLMARIX_SOURCE names the source tree}
# The rows say whether a skip may pass and whether to install.
unset TOLMARIX_REQUIRE_ALL TOLMARIX_NO_INSTALL

# The stand-ins keep their state in files: installed (one package a line),
# arches (the foreign architectures), refused (packages apt can't have),
# and calls, every call made.
mkdir bin
: > installed
: > refused
echo i386 > arches
cat > bin/dpkg-query << 'EOF'
#!/bin/sh
# dpkg-query -W -f=FORMAT PACKAGE
for package; do :; done
if grep -qxF "$package" "$STANDIN/installed"; then echo installed; else echo not-installed; fi
EOF
cat > bin/dpkg << 'EOF'
#!/bin/sh
case $1 in
--print-foreign-architectures) cat "$STANDIN/arches" ;;
*) echo "dpkg $*" >> "$STANDIN/calls"; echo "$2" >> "$STANDIN/arches" ;;
esac
EOF
cat > bin/apt-get << 'EOF'
#!/bin/sh
echo "apt-get $*" >> "$STANDIN/calls"
if [ "$1" = update ] && [ -f "$STANDIN/update_fails" ]; then echo "E: Failed to fetch i386 Packages"; exit 100; fi
[ "$1" = install ] || exit 0
shift 3
for package; do
    if grep -qxF "$package" "$STANDIN/refused"; then
        # apt says more than one E: line; the first names the cause.
        echo "E: The stand-in can't have $package"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
done
printf '%s\n' "$@" >> "$STANDIN/installed"
EOF
cat > bin/sudo << 'EOF'
#!/bin/sh
exec "$@"
EOF
# cmake --workflow --preset PRESET: writes log.PRESET as the build's last
# test log and failed.PRESET as its list of failed tests, when there are
# such, and ends with status.PRESET, 0 by default.
cat > bin/cmake << 'EOF'
#!/bin/sh
preset=$3
echo "cmake $*" >> "$STANDIN/calls"
mkdir -p "build/$preset/Testing/Temporary"
if [ -f "$STANDIN/log.$preset" ]; then cp "$STANDIN/log.$preset" "build/$preset/Testing/Temporary/LastTest.log"; fi
if [ -f "$STANDIN/failed.$preset" ]; then cp "$STANDIN/failed.$preset" "build/$preset/Testing/Temporary/LastTestsFailed.log"; fi
exit "$(cat "$STANDIN/status.$preset" 2> /dev/null || echo 0)"
EOF
chmod +x bin/*
export STANDIN=$dir PATH=$dir/bin:$PATH

# install_a_and_b: install_packages with the groups A and B; its output goes
# to out.txt, and what it could not install to uninstalled.txt.
install_a_and_b() {
    (
        # shellcheck source=../../scripts/packages
        . "$source_dir/scripts/packages"
        A_PACKAGES=(pa pb) A_PACKAGES_FOR="group A"
        B_PACKAGES=(pc:i386) B_PACKAGES_FOR="group B"
        install_packages "the row" A_PACKAGES B_PACKAGES > out.txt
        status=$?
        printf '%s\n' "${UNINSTALLED[@]}" > uninstalled.txt
        exit $status
    )
    status=$?
}

# run_scripts_test: a copy of scripts/test, which works in its own tree.
run_scripts_test() {
    mkdir -p tree/scripts
    cp "$source_dir/scripts/test" "$source_dir/scripts/packages" tree/scripts/
    tree/scripts/test > out.txt 2>&1
    status=$?
}

# all_installed: every package of every test group is installed.
all_installed() {
    # shellcheck source=../../scripts/packages
    (. "$source_dir/scripts/packages" && printf '%s\n' "${CI_PACKAGES[@]}") > installed
}

# expect_calls LINE...: the calls made, in order, and no others.
expect_calls() {
    printf '%s\n' "$@" | sed '/^$/d' > expected-calls.txt
    touch calls
    cmp -s calls expected-calls.txt || { echo "FAIL: the calls differ:"; diff expected-calls.txt calls; failed=1; }
}

# expect_line FILE LINE: FILE has LINE, whole.
expect_line() {
    grep -qxF -- "$2" "$1" || { echo "FAIL: $1 lacks the line: $2"; cat "$1"; failed=1; }
}

# stand_in NAME [TEXT]: bin/NAME, a program made of TEXT (printf's
# format), by default a script that does nothing.
stand_in() {
    # shellcheck disable=SC2059
    printf "${2-#!/bin/sh\\n}" > "bin/$1" && chmod +x "bin/$1"
}

UPDATE='apt-get update -q'
case $name in
nothing_installed)
    install_a_and_b
    expect_status 0
    expect_calls "$UPDATE" 'apt-get install -y -q pa pb pc:i386' ;;
one_package_missing)
    printf 'pa\npc:i386\n' > installed
    install_a_and_b
    expect_status 0
    expect_calls "$UPDATE" 'apt-get install -y -q pb' ;;
everything_installed)
    printf 'pa\npb\npc:i386\n' > installed
    install_a_and_b
    expect_status 0
    expect_calls
    [ ! -s out.txt ] || { echo "FAIL: it said something:"; cat out.txt; failed=1; } ;;
i386_architecture_missing)
    : > arches
    install_a_and_b
    expect_status 0
    expect_calls 'dpkg --add-architecture i386' "$UPDATE" 'apt-get install -y -q pa pb pc:i386' ;;
no_install_asked_for)
    TOLMARIX_NO_INSTALL=1 install_a_and_b
    expect_status 0
    expect_calls ;;
group_apt_refuses)
    # All at once fails; then A installs and B is named with apt's error.
    echo pc:i386 > refused
    install_a_and_b
    expect_status 1
    expect_calls "$UPDATE" 'apt-get install -y -q pa pb pc:i386' 'apt-get install -y -q pa pb' \
        'apt-get install -y -q pc:i386'
    expect_line installed pb
    expect_line uninstalled.txt "group B: pc:i386 could not be installed: E: The stand-in can't have pc:i386"
    # apt's first error only, not the ones that follow it.
    [ "$(wc -l < uninstalled.txt)" = 1 ] || { echo "FAIL: more than apt's first error:"; cat uninstalled.txt; failed=1; }
    expect_line out.txt "Could not install pc:i386, for group B: E: The stand-in can't have pc:i386" ;;
index_broken_and_a_group_refused)
    # A broken index is named beside the install's error.
    echo pc:i386 > refused
    : > update_fails
    install_a_and_b
    expect_status 1
    expect_line installed pb
    expect_line uninstalled.txt "group B: pc:i386 could not be installed: E: The stand-in can't have pc:i386 (apt-get update: E: Failed to fetch i386 Packages)" ;;
skipped_test_listed_with_its_reason)
    all_installed
    printf '3/9 Testing: cli.ntfs_volume\nSKIP: ntfs_volume: mkntfs is not installed (Debian package ntfs-3g)\n' > log.default
    run_scripts_test
    expect_status 0
    expect_line out.txt '  default: cli.ntfs_volume: mkntfs is not installed (Debian package ntfs-3g)' ;;
group_not_installed_is_listed | group_not_installed_fails_when_all_must_run)
    # Every test group but 32-bit Wine's can be had.
    echo wine32:i386 > refused
    if [ "$name" = group_not_installed_fails_when_all_must_run ]; then export TOLMARIX_REQUIRE_ALL=1; fi
    run_scripts_test
    line="not installed, so its tests skip: the 32-bit Windows build and its tests under 32-bit Wine:"
    line+=" g++-mingw-w64-i686-posix wine32:i386 could not be installed: E: The stand-in can't have wine32:i386"
    if [ "$name" = group_not_installed_is_listed ]; then
        expect_status 0
        expect_line out.txt "  $line"
    else
        expect_status 1
        expect_line out.txt "FAIL: TOLMARIX_REQUIRE_ALL=1 and this can't run here: $line"
        ! grep -q '^cmake' calls || { echo "FAIL: a build ran"; failed=1; }
    fi ;;
failed_build_lets_the_next_one_run)
    # The native build fails two tests and then the 64-bit Windows build,
    # whose tools stand in, still runs; the two failures are listed.
    all_installed
    stand_in x86_64-w64-mingw32-g++-posix
    stand_in wine
    echo 8 > status.default
    printf '12:cli.ntfs_volume\n40:roundtrip.floppy\n' > failed.default
    # An earlier run's list of failures, in the build the stand-in rewrites
    # and in one it does not: neither may speak for this run.
    for build in default windows; do
        mkdir -p "tree/build/$build/Testing/Temporary"
        echo '1:a.test_of_an_earlier_run' > "tree/build/$build/Testing/Temporary/LastTestsFailed.log"
    done
    echo 1 > status.windows
    run_scripts_test
    expect_status 1
    expect_line calls 'cmake --workflow --preset windows'
    expect_line out.txt '  default: cli.ntfs_volume roundtrip.floppy failed'
    expect_line out.txt '  windows: cmake --workflow --preset windows failed (status 1) before any test failed' ;;
native_group_refused_fails_before_any_build)
    echo libgtest-dev > refused
    run_scripts_test
    expect_status 1
    grep -q '^FAIL: the native build and its tests: .*libgtest-dev' out.txt || { cat out.txt; echo "FAIL: no FAIL: line names the native group"; failed=1; }
    ! grep -q '^cmake' calls || { echo "FAIL: a build ran"; failed=1; } ;;
every_group_asked_for)
    # scripts/test asks apt for every package CI installs, but for what CI
    # alone runs: the clang build, the static checks, man, the benchmark
    # and the fresh Debian.
    run_scripts_test
    (. "$source_dir/scripts/packages" && printf '%s\n' "${CI_PACKAGES[@]}") |
        grep -vxE 'clang|clang-format|clang-tidy|cppcheck|man-db|hyperfine|debootstrap' | sort -u > wanted.txt
    grep -m1 '^apt-get install' calls | cut -d' ' -f4- | tr ' ' '\n' | sort -u > asked.txt
    comm -23 wanted.txt asked.txt > missing.txt
    [ ! -s missing.txt ] || { echo "FAIL: scripts/test does not ask for:"; cat missing.txt; failed=1; } ;;
kernel_that_runs_no_32_bit_program)
    # A loader the kernel won't start, as one without 32-bit support
    # refuses a 32-bit program (here an ELF for no machine there is), is no
    # skip even when all must run, but a build listed as not run.
    all_installed
    export TOLMARIX_REQUIRE_ALL=1 TOLMARIX_WINE32_LOADER=$dir/bin/wine32-loader
    stand_in i686-w64-mingw32-g++-posix
    stand_in wine32-loader '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\377\377'
    run_scripts_test
    expect_status 0
    expect_line out.txt "  the 32-bit Windows build and its tests under 32-bit Wine: this machine's kernel runs no 32-bit program ($dir/bin/wine32-loader: Exec format error)" ;;
wine32_loader_that_fails_otherwise)
    # A loader that starts and fails leaves the build to run and show it.
    all_installed
    export TOLMARIX_WINE32_LOADER=$dir/bin/wine32-loader
    stand_in i686-w64-mingw32-g++-posix
    stand_in wine32-loader '#!/bin/sh\necho "wine: could not load kernel32.dll, status c0000135" >&2\nexit 1\n'
    run_scripts_test
    expect_line calls 'cmake --workflow --preset windows32' ;;
fresh_debian_commands_see_only_path_and_home)
    # What the README's commands see in the new Debian, through a chroot
    # that stands in for entering it: a user's login's PATH and HOME, and
    # what bash sets itself, whatever this environment holds.
    stand_in chroot '#!/bin/sh\nshift\nexec "$@"\n'
    stand_in runuser '#!/bin/sh\nshift 3\nexec "$@"\n'
    mkdir -p home/tolmarix
    (FRESH_DEBIAN_FUNCTIONS=1 && . "$source_dir/.ci/fresh-debian" && in_debian / tolmarix "$dir/home" env) > env.txt
    status=$?
    expect_status 0
    sed 's/=.*//' env.txt | grep -vxE 'PWD|OLDPWD|SHLVL|_' | sort | paste -sd ' ' > names.txt
    [ "$(cat names.txt)" = "HOME PATH" ] || { echo "FAIL: the command saw: $(cat names.txt)"; failed=1; }
    expect_line env.txt "PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games" ;;
boot_in_emulator_waits_for_lines_that_come_apart)
    # A QEMU whose serial port says its lines a second and more apart:
    # AND_LINES=2 waits for both after the first.
    stand_in qemu-system-i386 '#!/bin/sh\nfor a; do case $a in file:*) serial=${a#file:} ;; esac; done\nprintf "TOLMARIX\\n" > "$serial"; sleep 1.2; printf "second\\n" >> "$serial"; sleep 1.2; printf "third\\n" >> "$serial"; exec sleep 30\n'
    head -c 1474560 /dev/zero > floppy.img
    AND_LINES=2 "$source_dir/scripts/boot-in-emulator" qemu floppy.img floppy TOLMARIX > serial.txt
    status=$?
    expect_status 0
    expect_line serial.txt third ;;
boot_in_emulator_that_saves_no_screen)
    # A Bochs that comes to no prompt at SIGINT, as Debian 13's does:
    # after 20 s without a screen boot-in-emulator ends with status 3, which
    # a screen row takes for a skip, saying why.
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    stand_in bochs '#!/bin/sh\ntrap "" INT\nexec sleep 60\n'
    (unset TOLMARIX_REQUIRE_ALL; TOLMARIX_EXAMPLES=$source_dir/examples \
        bash "$source_dir/tests/roundtrip/roundtrip_test.sh" sample_mbr_with_two_active_entries) > row.txt 2>&1
    status=$?
    expect_status 77
    expect_line row.txt "SKIP: sample_mbr_with_two_active_entries: bochs saved no text screen through its debugger (Debian 13's Bochs 3.0 does not)" ;;
wine_started_without_tmpdir)
    # A Wine loader that aborts when TMPDIR is set, as Debian 13's Wine 10
    # does without /run/user/UID: the rows start Wine without it.
    stand_in wine-loader '#!/bin/sh\n[ -z "${TMPDIR+set}" ] || { echo "wine: TMPDIR is set" >&2; exit 134; }\nprintf "TOLMARIX - Writes a boot sector from a file (Win32 version).\\r\\nUsage: tolmarix bootprogram drive\\r\\n\\r\\n"\nexit 1\n'
    mkdir -p prefix/dosdevices
    TOLMARIX_PLATFORM=wine TOLMARIX_WINE_LOADER=$dir/bin/wine-loader WINEPREFIX=$dir/prefix TOLMARIX_BIN=tolmarix.exe \
        bash "$source_dir/tests/cli/cli_test.sh" no_arguments > row.txt 2>&1
    status=$?
    expect_status 0
    [ $status = 0 ] || cat row.txt ;;
*)
    echo "unknown case: $name"
    exit 1 ;;
esac

[ $failed = 0 ] && echo "PASS: $name"
exit $failed
