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
need x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
need strings binutils

# The .zip as the package workflow makes it, from this build, unpacked.
cpack -G ZIP --config "$cpack_config" -B "$dir/package" > cpack.txt 2>&1 || { cat cpack.txt; echo "FAIL: cpack"; exit 1; }
zip_name=$(cd package && ls tolmarix-*.zip)
mkdir unpacked
unzip -q "package/$zip_name" -d unpacked || { echo "FAIL: unzip"; exit 1; }
exe=$(find "$dir/unpacked" -name tolmarix.exe)
architecture=$(perl -0777 -ne 'print $1 if /processorArchitecture="([^"]*)"/' "$exe")

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
program_over_64_kib)
    truncate -s 65537 "$exe"
    expected="tolmarix.exe is larger than 64 KiB" ;;
sums_that_do_not_match)
    expected="SHA256SUMS does not match the files in $dir/package" ;;
unzip_hidden_from_path)
    hide=unzip
    expected="unzip is not installed (Debian package unzip), so $dir/package/$zip_name was not checked" ;;
*) echo "unknown case: $name"; exit 1 ;;
esac

# The changed program goes back into the .zip, which SHA256SUMS then lists.
if [ "$name" != zip_as_built ] && [ -z "$hide" ]; then
    (cd unpacked && cmake -E tar cf "$dir/package/$zip_name" --format=zip -- *) || { echo "FAIL: making the .zip again"; exit 1; }
    if [ "$name" != sums_that_do_not_match ]; then (cd package && sha256sum "$zip_name" > SHA256SUMS); fi
fi

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
PATH=$path TOLMARIX_NO_INSTALL=1 "$BASH" "$source_tree/scripts/check-release" zip "$dir/package/$zip_name" > out.txt 2>&1
status=$?
grep '^FAIL: ' out.txt | sed 's/^FAIL: //' > failures.txt
if [ -z "$expected" ]; then
    [ $status = 0 ] && [ ! -s failures.txt ] && grep -qx 'release artifacts: checked' out.txt ||
        { cat out.txt; echo "FAIL: check-release did not pass the .zip as built (status $status)"; failed=1; }
else
    printf '%s\n' "$expected" | cmp -s - failures.txt && [ $status = 1 ] ||
        { cat out.txt; echo "FAIL: check-release did not fail with exactly: $expected (status $status)"; failed=1; }
fi
[ $failed = 0 ] && echo "PASS: $name"
exit $failed
