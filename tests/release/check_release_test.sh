#!/usr/bin/env bash
# Runs scripts/check-release on a Windows .zip made by this build, whole or
# with one property broken, and expects it to pass on the whole one and to
# fail on each broken one with exactly the line that names what broke:
#
#   check_release_test.sh CASE
#
# The breaks keep tolmarix.exe a program of the same size, so that nothing
# else can fail: the manifest keeps its length (its first comment gives or
# takes the difference), and SHA256SUMS is made anew for the changed .zip,
# but in the row that breaks it. TOLMARIX_SOURCE is the source tree and
# TOLMARIX_CPACK_CONFIG the build's CPack configuration; the rest of the
# environment is described in ../lib.sh.
set -u

name=${1:?usage: check_release_test.sh CASE}
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"
source_tree=${TOLMARIX_SOURCE:?TOLMARIX_SOURCE names the source tree}
cpack_config=${TOLMARIX_CPACK_CONFIG:?TOLMARIX_CPACK_CONFIG names the CPack configuration of the build}
need cpack cmake
need unzip unzip

# The rows on what CI checks beside the packages, which need no package:
# a README block run as CI runs it, the benchmark's lines against the
# README's, and the manual's date.
case $name in
readme_block_whose_first_line_fails)
    # shellcheck source=../../.ci/readme-blocks
    . "$source_tree/.ci/readme-blocks"
    printf 'false\necho the second line ran\n' | run_block "a failing block" > out.txt 2>&1
    status=$?
    [ $status != 0 ] || { echo "FAIL: the block's failure was not a failure"; failed=1; }
    ! grep -q 'the second line ran' out.txt || { cat out.txt; echo "FAIL: the line after the failing one ran"; failed=1; } ;;
bench_output_as_contributing_shows | bench_output_with_a_line_renamed)
    # shellcheck source=../../.ci/readme-blocks
    (cd "$source_tree" && . .ci/readme-blocks && doc_block CONTRIBUTING.md '## Benchmark') > bench.txt
    if [ "$name" = bench_output_with_a_line_renamed ]; then sed -i 's/^tolmarix /tolmarix-new /' bench.txt; fi
    grep -q . bench.txt || { echo "FAIL: CONTRIBUTING.md has no benchmark block"; exit 1; }
    (cd "$source_tree" && . .ci/readme-blocks && bench_matches_contributing "$dir/bench.txt") > out.txt 2>&1
    status=$?
    if [ "$name" = bench_output_as_contributing_shows ]; then
        expect_status 0
    else
        expect_status 1
    fi ;;
manual_dated_by_the_recorded_epoch)
    # A tree without git, as the source tarball is, takes its date from
    # cmake/source-date-epoch, and so does the manual: 2001-09-09 here, not
    # the day it is built.
    need cmake cmake
    need ninja ninja-build
    mkdir tree
    (cd "$source_tree" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C tree
    echo 1000000000 > tree/cmake/source-date-epoch
    env -u SOURCE_DATE_EPOCH cmake -S tree -B build -G Ninja -DBUILD_TESTING=OFF > configure.txt 2>&1 ||
        { cat configure.txt; echo "FAIL: configuring the tree"; exit 1; }
    grep -q "^\.TH .* 2001-09-09 " build/tolmarix.1 || { grep "^\.TH" build/tolmarix.1; echo "FAIL: the manual is not dated 2001-09-09"; failed=1; } ;;
esac
case $name in
readme_block_* | bench_output_* | manual_dated_*)
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed ;;
esac

# The package as the package workflow makes it, from this build, unpacked:
# the .zip of a Windows build, the .deb of the native one.
if [ "${TOLMARIX_PLATFORM:-posix}" = wine ]; then
    /usr/bin/python3 -c 'import pefile' 2> /dev/null || skip "pefile is not installed (Debian package python3-pefile)"
    cpack -G ZIP --config "$cpack_config" -B "$dir/package" > cpack.txt 2>&1 || { cat cpack.txt; echo "FAIL: cpack"; exit 1; }
    zip_name=$(cd package && ls tolmarix-*.zip)
    system=${zip_name%.zip} system=${system##*-}
    mkdir unpacked
    unzip -q "package/$zip_name" -d unpacked || { echo "FAIL: unzip"; exit 1; }
    exe=$(find "$dir/unpacked" -name tolmarix.exe)
    # The manifest's name for the .zip's processor.
    architecture=amd64
    [ "$system" = win32 ] && architecture=x86
else
    need dpkg-deb dpkg
    need hardening-check devscripts
    need lintian lintian
    cpack -G DEB --config "$cpack_config" -B "$dir/package" > cpack.txt 2>&1 || { cat cpack.txt; echo "FAIL: cpack"; exit 1; }
    deb=$(cd package && ls tolmarix_*.deb)
    dpkg-deb -R "package/$deb" unpacked || { echo "FAIL: dpkg-deb"; exit 1; }
    cp unpacked/usr/bin/tolmarix package/
fi
version=$(sed -n 's/^project(tolmarix VERSION \([0-9.]*\).*/\1/p' "$source_tree/CMakeLists.txt")

# build_compiler LANGUAGE: the compiler this build uses for LANGUAGE (CXX,
# or RC for the resource compiler), as its configure step found it.
build_dir=$(dirname "$cpack_config")
build_compiler() {
    sed -n "s/^set(CMAKE_$1_COMPILER \"\(.*\)\")\$/\1/p" "$build_dir"/CMakeFiles/*/"CMake$1Compiler.cmake"
}

# set_pe_field FIELD VALUE: a field of the program's optional header, set
# with pefile.
set_pe_field() {
    /usr/bin/python3 -c 'import pefile, sys
pe = pefile.PE(sys.argv[1])
setattr(pe.OPTIONAL_HEADER, sys.argv[2], int(sys.argv[3]))
pe.write(sys.argv[1] + ".new")' "$exe" "$1" "$2" && mv "$exe.new" "$exe" || { echo "FAIL: pefile could not set $1"; exit 1; }
}

# tree_with_the_package_only: a copy of check-release and what it reads,
# whose build/ holds this build's .zip alone, where its workflow puts it.
tree_with_the_package_only() {
    local folder=package-windows
    [ "$system" = win32 ] && folder=package-windows32
    mkdir -p tree/scripts tree/packaging "tree/build/$folder"
    cp "$source_tree"/scripts/{check-release,check-windows-program,packages} tree/scripts/
    cp "$source_tree/packaging/windows-imports.md" tree/packaging/
    cp "$source_tree/CMakeLists.txt" tree/
    cp "package/$zip_name" package/SHA256SUMS "tree/build/$folder/"
    check_release=$dir/tree/scripts/check-release
    mode=(all)
}

# change_manifest PERL: the Perl substitution PERL, made on the manifest
# inside tolmarix.exe.
change_manifest() {
    CHANGE=$1 perl -0777 -pi -e '
        /(<\?xml.*?<\/assembly>)/s or die "no manifest\n";
        my ($start, $old) = ($-[1], $1);
        my $new = do { local $_ = $old; eval $ENV{CHANGE}; die $@ if $@; $_ };
        $new ne $old or die "the change changed nothing\n";
        my $delta = length($new) - length($old);
        $new =~ s/(<!-- )([^-]*)/$1 . ($delta > 0 ? substr($2, $delta) : $2 . (" " x -$delta))/e or die "no comment\n";
        substr($_, $start, length($old)) = $new;' "$exe" || { echo "FAIL: the manifest could not be changed"; exit 1; }
}

# One row per case: the break, and the lines check-release must give.
expected=
hide=
check_release=$source_tree/scripts/check-release
mode=(zip "$dir/package/${zip_name:-}")
case $name in
zip_as_built) ;;
assembly_version_of_five_parts)
    change_manifest 's/(<assemblyIdentity [^>]*version="[^"]*)"/$1.0"/'
    expected="the manifest's assembly version is not four numbers of 0 to 65535" ;;
ui_access_asked_for)
    change_manifest 's/uiAccess="false"/uiAccess="true"/'
    expected="the manifest asks for UIAccess" ;;
supported_os_id_of_no_windows)
    change_manifest 's/35138b9a-5d96-4fbd-8e2d-a2440225f93a/35138b9a-5d96-4fbd-8e2d-a2440225f93b/'
    expected="the manifest does not name Windows 7 as supported
the manifest names a supportedOS Id that is no Windows version: 35138b9a-5d96-4fbd-8e2d-a2440225f93b" ;;
supported_os_id_added)
    change_manifest 's/(\s*<supportedOS Id="\{e2011457[^>]*>)/$1$1/; s/(\{e2011457[^}]*)f0(\}"\/>\s*<\/application)/${1}f1$2/'
    expected="the manifest names a supportedOS Id that is no Windows version: e2011457-1546-43c5-a5fe-008deee3d3f1" ;;
manifest_for_another_architecture)
    change_manifest 's/processorArchitecture="(amd64|x86)"/"processorArchitecture=\"" . ($1 eq "x86" ? "amd64" : "x86") . "\""/e'
    expected="the manifest's processorArchitecture is not $architecture" ;;
translation_not_the_string_table)
    perl -0777 -pi -e '
        my $at = index($_, join("\0", split(//, "Translation")) . "\0\0\0") - 6;
        substr($_, $at + unpack("v", substr($_, $at, 2)) - 2, 2) = pack("v", 1252);' "$exe"
    expected="the Translation is not the string table's language and code page" ;;
import_the_table_lacks)
    perl -0777 -pi -e 's/([^A-Za-z])Sleep\0/$1Sleeq\0/ or die' "$exe"
    expected="tolmarix.exe imports Sleeq, which packaging/windows-imports.md does not list; look up its page and add it" ;;
readme_windows_txt_with_bold | readme_windows_txt_with_a_link | readme_windows_txt_with_a_heading)
    line='**6. A disk image.**'
    [ "$name" = readme_windows_txt_with_a_link ] && line='See [the manual](tolmarix.html).'
    [ "$name" = readme_windows_txt_with_a_heading ] && line='## 6. A disk image'
    printf '%s\r\n' "$line" >> "$(find unpacked -name README-Windows.txt)"
    expected="README-Windows.txt is not plain text" ;;
zip_document_linking_a_file_it_lacks)
    printf '\nSee [the guide for developers](../CONTRIBUTING.md).\n' >> "$(find unpacked -name media.md)"
    expected="tolmarix-$version-$system/docs/media.md in $zip_name links ../CONTRIBUTING.md, which $zip_name lacks" ;;
readme_windows_txt_with_a_long_line)
    printf '%s\r\n' "$(printf 'x%.0s' {1..77})" >> "$(find unpacked -name README-Windows.txt)"
    expected="README-Windows.txt has lines over 76 characters" ;;
readme_windows_txt_as_converted)
    # What the conversion keeps of the guide: every link's text, every
    # line of code indented four spaces, and "(untried)" without its stars.
    notes=$(find unpacked -name README-Windows.txt)
    tr -d '\r' < "$notes" > notes.txt
    guide=$source_tree/docs/windows.md
    grep -q '\](' "$guide" || { echo "FAIL: the guide has no link to look for"; failed=1; }
    grep -o '\[[^]]*\]([^)]*)' "$guide" | sed 's/^\[\([^]]*\)\].*/\1/' | while IFS= read -r text; do
        grep -qF -- "$text" notes.txt || { echo "FAIL: the link's text is gone: $text"; exit 1; }
    done || failed=1
    awk '/^```/ { code = !code; next } code' "$guide" | while IFS= read -r line; do
        grep -qxF -- "    ${line//\`/}" notes.txt || { echo "FAIL: a line of code is not indented four spaces: $line"; exit 1; }
    done || failed=1
    untried=$(grep -o '\*(untried)\*' "$guide" | wc -l)
    [ "$untried" -gt 0 ] && [ "$(grep -o '(untried)' notes.txt | wc -l)" = "$untried" ] && ! grep -q '\*(untried)' notes.txt ||
        { echo "FAIL: the guide's $untried *(untried)* are not (untried)"; failed=1; }
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed ;;
program_over_64_kib)
    truncate -s 65537 "$exe"
    expected="tolmarix.exe is larger than 64 KiB" ;;
sums_that_do_not_match)
    expected="SHA256SUMS does not match the files in $dir/package" ;;
unzip_hidden_from_path)
    hide=unzip
    expected="unzip is not installed (Debian package unzip), so $dir/package/$zip_name was not checked" ;;
import_from_another_dll)
    perl -0777 -pi -e 's/msvcrt\.dll\0/msvcrx.dll\0/i or die' "$exe"
    expected="tolmarix.exe imports from other DLLs" ;;
subsystem_newer_than_the_imports_allow | subsystem_a_minor_step_newer_than_the_imports_allow)
    oldest=5.2 newer=6.0
    [ "$system" = win32 ] && oldest=5.1
    # One step of the minor number alone, which a check of the major
    # number alone would let pass.
    if [ "$name" = subsystem_a_minor_step_newer_than_the_imports_allow ]; then newer=5.$((${oldest#5.} + 1)); fi
    set_pe_field MajorSubsystemVersion "${newer%.*}"
    set_pe_field MinorSubsystemVersion "${newer#*.}"
    expected="the PE header's subsystem version $newer is newer than the Windows its imports allow ($oldest)" ;;
import_of_the_other_build_only)
    # Renamed to a function of the same length that the table gives the
    # other build alone.
    if [ "$system" = win64 ]; then
        perl -0777 -pi -e 's/([^A-Za-z])CloseHandle\0/$1FreeLibrary\0/ or die' "$exe"
        expected="packaging/windows-imports.md does not list FreeLibrary as imported by win64"
    else
        perl -0777 -pi -e 's/([^A-Za-z])EnterCriticalSection\0/$1__C_specific_handler\0/ or die' "$exe"
        expected="packaging/windows-imports.md does not list __C_specific_handler as imported by win32"
    fi ;;
program_of_the_other_processor)
    # The .zip and its folder named for the other processor: the win32
    # program in the win64 .zip, or the other way round.
    other=win64 machine=i386
    [ "$system" = win64 ] && other=win32 machine=i386:x86-64
    mv "unpacked/tolmarix-$version-$system" "unpacked/tolmarix-$version-$other"
    zip_name=tolmarix-$version-$other.zip
    rm package/*.zip
    mode=(zip "$dir/package/$zip_name")
    expected="a $machine program in the $other .zip"
    if [ "$other" = win32 ]; then
        expected+=$'\n'"packaging/windows-imports.md does not list __C_specific_handler as imported by win32"
    else
        for import in FreeLibrary GetModuleHandleA GetModuleHandleW GetProcAddress LoadLibraryA; do
            expected+=$'\n'"packaging/windows-imports.md does not list $import as imported by win64"
        done
    fi ;;
manifest_laid_out_otherwise)
    # The same identity over several lines, its attributes in another
    # order: as XML it is the same, and it must pass.
    change_manifest 's/<assemblyIdentity type="win32" name="([^"]*)" version="([^"]*)" processorArchitecture="([^"]*)"\/>/<assemblyIdentity\n      processorArchitecture="$3"\n      version="$2"\n      name="$1" type="win32"\/>/ or die "no identity\n"' ;;
second_string_table)
    # The program linked again with a German string table before the US
    # English one its Translation names, which is the one Windows shows: it
    # must pass, the fields read from that one.
    compiler=$(build_compiler CXX)
    windres=$(build_compiler RC)
    perl -0777 -pe 's/(\n *)(BLOCK "040904B0")/$1BLOCK "040704B0"$1BEGIN$1    VALUE "FileVersion", "9.9.9"$1END$1$2/ or die' \
        "$build_dir/tolmarix.rc" > two-tables.rc || { echo "FAIL: no string table in tolmarix.rc"; exit 1; }
    "$windres" -O coff -i two-tables.rc -o two-tables.res || { echo "FAIL: $windres"; exit 1; }
    read -ra flags < <(sed -n '/^build tolmarix.exe:/,/^$/s/^ *LINK_FLAGS = //p' "$build_dir/build.ninja")
    read -ra libraries < <(sed -n '/^build tolmarix.exe:/,/^$/s/^ *LINK_LIBRARIES = //p' "$build_dir/build.ninja")
    (cd "$build_dir" && "$compiler" -O3 "${flags[@]}" CMakeFiles/tolmarix.dir/src/main.cpp.obj "$dir/two-tables.res" \
        "${libraries[@]}" -o "$exe") || { echo "FAIL: linking the program again"; exit 1; } ;;
every_artifact_but_this_zip_missing)
    # check-release as a whole, with nothing but this .zip, which is too
    # large: each missing artifact is named with the workflow that makes it,
    # and the .zip there is checked.
    truncate -s 65537 "$exe"
    other=package-windows32:win32
    [ "$system" = win32 ] && other=package-windows:win64
    expected="there is no build/package/tolmarix; make it with: cmake --workflow --preset package
there is no build/package/tolmarix_${version}_amd64.deb; make it with: cmake --workflow --preset package
there is no build/package/SHA256SUMS"
    if [ "$system" = win64 ]; then expected+=$'\n'"tolmarix.exe is larger than 64 KiB"; fi
    expected+=$'\n'"there is no build/${other%%:*}/tolmarix-$version-${other#*:}.zip; make it with: cmake --workflow --preset ${other%%:*}"
    if [ "$system" = win32 ]; then expected+=$'\n'"tolmarix.exe is larger than 64 KiB"; fi ;;
# The .deb and the native program, on the native build.
deb_with_a_lintian_warning)
    sed -i 's/^Section: .*/Section: nonsense/' unpacked/DEBIAN/control
    expected="lintian reports errors or warnings" ;;
program_linked_without_immediate_binding)
    # The program's own objects, linked as the build links them but for
    # -z now.
    # -z lazy, since some compilers' drivers ask for -z now themselves.
    read -ra flags < <(sed -n '/^build tolmarix:/,/^$/s/^ *LINK_FLAGS = //p' "$build_dir/build.ninja" |
        sed 's/-Wl,-z,now/-Wl,-z,lazy/; s/-Xlinker now/-Xlinker lazy/')
    [ ${#flags[@]} -gt 0 ] || { echo "FAIL: no link flags for tolmarix in build.ninja"; exit 1; }
    compiler=$(build_compiler CXX)
    (cd "$build_dir" && "$compiler" "${flags[@]}" -s CMakeFiles/tolmarix.dir/src/main.cpp.o libtolmarix_core.a \
        libtolmarix_console.a libtolmarix_posix.a -o "$dir/unpacked/usr/bin/tolmarix") ||
        { echo "FAIL: linking the program"; exit 1; }
    expected="hardening-check reports a line that is not yes for the packaged program" ;;
program_linked_without_pie)
    read -ra flags < <(sed -n '/^build tolmarix:/,/^$/s/^ *LINK_FLAGS = //p' "$build_dir/build.ninja" | sed 's/-pie\b//g')
    compiler=$(build_compiler CXX)
    (cd "$build_dir" && "$compiler" "${flags[@]}" -no-pie -s CMakeFiles/tolmarix.dir/src/main.cpp.o libtolmarix_core.a \
        libtolmarix_console.a libtolmarix_posix.a -o "$dir/unpacked/usr/bin/tolmarix") ||
        { echo "FAIL: linking the program"; exit 1; }
    # lintian sees it too (hardening-no-pie).
    expected="hardening-check reports a line that is not yes for the packaged program
lintian reports errors or warnings" ;;
hardening_line_of_another_processor)
    # hardening-check as devscripts 2.25 has it, which asks an x86 program
    # for arm64's branch protection too: no failure.
    need hardening-check devscripts
    mkdir standin
    printf '#!/bin/sh\n%s "$@"\necho " Branch Protection: no, not found!"\n' "$(command -v hardening-check)" > standin/hardening-check
    chmod +x standin/hardening-check
    PATH=$dir/standin:$PATH ;;
deb_manual_without_the_table_preprocessor)
    page=unpacked/usr/share/man/man1/tolmarix.1.gz
    zcat "$page" | sed 1d | gzip -9n > page.gz && mv page.gz "$page"
    # groff 1.23 (Debian 13) makes lintian warn of it too; groff 1.22 does not.
    ignore="lintian reports errors or warnings"
    expected="the manual page has a table but does not ask for the table preprocessor" ;;
deb_without_its_manual_page)
    rm unpacked/usr/share/man/man1/tolmarix.1.gz
    # lintian warns of a program without a page too.
    ignore="lintian reports errors or warnings"
    expected="the .deb has no manual page" ;;
deb_document_linking_a_file_it_lacks)
    printf '\nSee [the guide for developers](../CONTRIBUTING.md).\n' >> unpacked/usr/share/doc/tolmarix/docs/media.md
    expected="docs/media.md in $deb links ../CONTRIBUTING.md, which $deb lacks" ;;
deb_sums_that_do_not_match)
    expected="SHA256SUMS does not match the files in $dir/package" ;;
deb_as_built) ;;
deb_leaves_the_callers_temporary_folder_empty)
    # The row as built, run with a temporary folder of the caller's own:
    # what lintian and the rest make there must go with the row.
    mkdir caller-tmp
    TMPDIR=$dir/caller-tmp bash "$0" deb_as_built > row.txt 2>&1 || { cat row.txt; echo "FAIL: deb_as_built failed"; failed=1; }
    leftovers=$(find caller-tmp -mindepth 1)
    [ -z "$leftovers" ] || { echo "FAIL: the caller's temporary folder holds: $leftovers"; failed=1; }
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed ;;
*) echo "unknown case: $name"; exit 1 ;;
esac

# The changed program goes back into its package, which SHA256SUMS then
# lists.
if [ -n "${deb:-}" ]; then
    mode=(native "$dir/package")
    if [ "$name" != deb_as_built ]; then
        (cd unpacked && find usr -type f -exec md5sum {} + | sort -k 2) > unpacked/DEBIAN/md5sums
        dpkg-deb --root-owner-group -b unpacked "package/$deb" > /dev/null || { echo "FAIL: making the .deb again"; exit 1; }
        (cd package && sha256sum "$deb" > SHA256SUMS)
        if [ "$name" = deb_sums_that_do_not_match ]; then sed -i 's/^[0-9a-f]\{8\}/00000000/' package/SHA256SUMS; fi
    fi
elif [ "$name" != zip_as_built ] && [ -z "$hide" ]; then
    (cd unpacked && cmake -E tar cf "$dir/package/$zip_name" --format=zip -- *) || { echo "FAIL: making the .zip again"; exit 1; }
    if [ "$name" != sums_that_do_not_match ]; then (cd package && sha256sum "$zip_name" > SHA256SUMS); fi
fi
if [ "$name" = every_artifact_but_this_zip_missing ]; then tree_with_the_package_only; fi

# hidden_path COMMAND: PATH with every folder in it copied as links, but for
# COMMAND.
hidden_path() {
    local folder copy path=
    local -i n=0
    IFS=: read -ra folders <<< "$PATH"
    for folder in "${folders[@]}"; do
        [ -d "$folder" ] || continue
        n+=1
        copy=$dir/path$n
        mkdir "$copy"
        find "$folder" -maxdepth 1 -mindepth 1 ! -name "$1" -exec ln -s {} "$copy/" \; 2> /dev/null
        path+=${path:+:}$copy
    done
    echo "$path"
}

path=$PATH
if [ -n "$hide" ]; then path=$(hidden_path "$hide"); fi
PATH=$path TOLMARIX_NO_INSTALL=1 "$BASH" "$check_release" "${mode[@]}" > out.txt 2>&1
status=$?
grep '^FAIL: ' out.txt | sed 's/^FAIL: //' | grep -vxF "${ignore:-}" > failures.txt
if [ -z "$expected" ]; then
    [ $status = 0 ] && [ ! -s failures.txt ] && grep -qx 'release artifacts: checked' out.txt ||
        { cat out.txt; echo "FAIL: check-release did not pass the package as built (status $status)"; failed=1; }
else
    printf '%s\n' "$expected" | cmp -s - failures.txt && [ $status = 1 ] ||
        { cat out.txt; echo "FAIL: check-release did not fail with exactly: $expected (status $status)"; failed=1; }
fi
[ $failed = 0 ] && echo "PASS: $name"
exit $failed
