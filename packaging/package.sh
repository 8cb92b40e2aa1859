# The release packages: the files each holds, the portable zip, the MSI and
# the Group Policy templates' zip, their signatures and winget's manifests.
# Sourced by scripts/release and tests/release.sh.
# shellcheck shell=bash

TAVREL_PACKAGING=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The version, from the one place it is set; the version block reads it too.
tavrel_version() {
    sed -n 's/^project(Tavrel VERSION \([0-9][0-9.]*\).*/\1/p' "$TAVREL_PACKAGING/../CMakeLists.txt"
}

# The time every packaged file carries: the commit's, so that two runs on one
# commit give the same bytes.
package_epoch() {
    git -C "$TAVREL_PACKAGING" log -1 --format=%ct 2>/dev/null || echo 1767225600
}

# The maker's site, from the one place the program takes it.
maker_site() {
    sed -n 's/.*kMakerSite\[\] = L"\(.*\)";.*/\1/p' "$TAVREL_PACKAGING/../src/tweaks/links.h"
}

# sign_file FILE [OPTION...]: signs FILE in place (Authenticode, SHA-256) with
# the PKCS#12 file $TAVREL_SIGN_PFX. osslsigncode reads its password, if any,
# from the file $TAVREL_SIGN_PASS_FILE, so it never reaches a command line.
# Without a timestamp server ($TAVREL_SIGN_TIMESTAMP) the signing time is the
# commit's: one certificate then signs to the same bytes on every run.
# Options go to osslsigncode, e.g. -add-msi-dse for an MSI.
sign_file() {
    local file=$1 log rc=0 opts=(-pkcs12 "$TAVREL_SIGN_PFX" -h sha256 -n Tavrel -i "$(maker_site)")
    [ -z "${TAVREL_SIGN_PASS_FILE:-}" ] || opts+=(-readpass "$TAVREL_SIGN_PASS_FILE")
    if [ -n "${TAVREL_SIGN_TIMESTAMP:-}" ]; then
        opts+=(-ts "$TAVREL_SIGN_TIMESTAMP")
    else
        opts+=(-time "$(package_epoch)")
    fi
    log=$(mktemp)
    osslsigncode sign "${opts[@]}" "${@:2}" -in "$file" -out "$file.signed" >"$log" 2>&1 || rc=$?
    if [ "$rc" -eq 0 ]; then
        # The zips keep each file's time and mode: the unsigned file's.
        touch -r "$file" "$file.signed"
        chmod --reference="$file" "$file.signed"
        mv "$file.signed" "$file"
    else
        say "osslsigncode could not sign $file:"
        cat "$log" >&2
        rm -f "$file.signed"
    fi
    rm -f "$log"
    return "$rc"
}

# stage_files BUILD-DIR VERSION DIR: what a package holds, with fixed times
# and modes, and the MSI's own uninstall step (tavrelca.dll), which only the
# MSI carries. README.txt and LICENSE.txt get Windows line ends, for Notepad
# on XP.
stage_files() {
    local build=$1 version=$2 dir=$3 epoch
    epoch=$(package_epoch)
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$build/Tavrel.exe" "$build/tavrelc.exe" "$build/click.wav" "$build/fire.wav" \
        "$build/longfire.wav" "$build/tavrelca.dll" "$dir/"
    sed "s/@VERSION@/$version/g; s/\$/\r/" "$TAVREL_PACKAGING/README.txt.in" >"$dir/README.txt"
    sed 's/$/\r/' "$TAVREL_PACKAGING/../LICENSE" >"$dir/LICENSE.txt"
    chmod 0644 "$dir"/*
    touch -d "@$epoch" "$dir"/*
}

TAVREL_PACKAGE_FILES=(LICENSE.txt README.txt Tavrel.exe click.wav fire.wav longfire.wav tavrelc.exe)

# The templates as Windows' PolicyDefinitions folder holds them.
TAVREL_POLICY_FILES=(Tavrel.admx en-US/Tavrel.adml)

# stage_policy DIR: the policy templates, laid out as in packaging/, with the
# same fixed times and modes.
stage_policy() {
    local dir=$1 f
    rm -rf "$dir"
    for f in "${TAVREL_POLICY_FILES[@]}"; do
        install -D -m 0644 "$TAVREL_PACKAGING/$f" "$dir/$f"
        touch -d "@$(package_epoch)" "$dir/$f"
    done
}

# make_zip DIR OUT [FILE...]: a zip of DIR's files (the portable zip's by
# default), its entries in a fixed order, with no folder entries and no extra
# fields (owners, local times) that would differ between runs.
make_zip() {
    local dir=$1 out=$2 files=("${@:3}")
    [ ${#files[@]} -gt 0 ] || files=("${TAVREL_PACKAGE_FILES[@]}")
    rm -f "$out"
    (cd "$dir" && TZ=UTC zip -X -D -q "$out" "${files[@]}")
}

# make_msi VERSION x86|x64 DIR OUT: a per-machine installer of DIR's files.
make_msi() {
    local version=$1 arch=$2 dir=$3 out=$4 work win64 programFiles program shortcut
    case $arch in
        x86) win64=no programFiles=ProgramFilesFolder
            program=E4658351-1C0C-4FB3-9688-2B68BD58DFDB shortcut=F685D2A5-B020-4445-AAE7-5A8F9B916052 ;;
        x64) win64=yes programFiles=ProgramFiles64Folder
            program=7A6160BC-9509-47E0-B99B-51DA06BA13DE shortcut=7052A5FA-DDEC-4D89-A8E7-656CBA211B51 ;;
        *) say "make_msi: no such architecture: $arch"; return 1 ;;
    esac
    # A name-based GUID: the same version and architecture give the same one.
    local hash code
    hash=$(printf 'Tavrel %s %s' "$version" "$arch" | sha1sum | tr 'a-f' 'A-F')
    code=${hash:0:8}-${hash:8:4}-5${hash:13:3}-A${hash:17:3}-${hash:20:12}
    work=$(mktemp -d)
    cp "$dir"/* "$TAVREL_PACKAGING/../resources/tavrel.ico" "$work/"
    sed -e "s/@VERSION@/$version/g" -e "s/@PRODUCT_CODE@/$code/g" -e "s/@WIN64@/$win64/g" -e "s/@PROGRAMFILES@/$programFiles/g" \
        -e "s/@GUID_PROGRAM@/$program/g" -e "s/@GUID_SHORTCUT@/$shortcut/g" \
        "$TAVREL_PACKAGING/tavrel.wxs.in" >"$work/tavrel.wxs"
    rm -f "$out"
    local rc=0
    # wixl names files relative to the folder it runs in.
    (cd "$work" && wixl -a "$arch" -o "$out" tavrel.wxs >"$work/wixl.log" 2>&1) || rc=$?
    if [ "$rc" -ne 0 ] || [ ! -s "$out" ]; then
        say "wixl could not make $out:"
        cat "$work/wixl.log" >&2
        rc=1
    fi
    rm -rf "$work"
    return "$rc"
}

# msi_property MSI NAME: a value from the MSI's Property table.
msi_property() {
    msiinfo export "$1" Property | tr -d '\r' | awk -F '\t' -v name="$2" '$1 == name { print $2 }'
}

TAVREL_WINGET_ID=Tavrel.Tavrel

# write_winget DIR URL-PREFIX MSI...: winget's manifests of this version in
# the three-file form of schema 1.12.0, one installer per MSI, each at
# URL-PREFIX/its name. Every value is read from what the release holds: the
# version, the MSI's name and maker, each MSI's architecture, codes and hash,
# and the license's name.
write_winget() {
    local dir=$1 url=${2%/} id=$TAVREL_WINGET_ID version site license name publisher msi arch hash
    local code upgrade
    version=$(tavrel_version)
    site=$(maker_site)
    license=$(sed -n '1s/ License$//p' "$TAVREL_PACKAGING/../LICENSE")
    name=$(msi_property "$3" ProductName)
    publisher=$(msi_property "$3" Manufacturer)
    local head="PackageIdentifier: $id
PackageVersion: '$version'" schema="# yaml-language-server: \$schema=https://aka.ms/winget-manifest"
    mkdir -p "$dir"
    cat >"$dir/$id.yaml" <<YAML
$schema.version.1.12.0.schema.json
$head
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.12.0
YAML
    cat >"$dir/$id.locale.en-US.yaml" <<YAML
$schema.defaultLocale.1.12.0.schema.json
$head
PackageLocale: en-US
Publisher: $publisher
PublisherUrl: $site
PackageName: $name
PackageUrl: $site
License: $license
ShortDescription: 'A one-press tuner for Windows: MTU, visual effects, clean-up, recycle bins, start-up programs'
ManifestType: defaultLocale
ManifestVersion: 1.12.0
YAML
    printf '%s\n' "$schema.installer.1.12.0.schema.json" "$head" "Installers:" >"$dir/$id.installer.yaml"
    for msi in "${@:3}"; do
        # The summary's template names the platform: Intel or x64.
        arch=$(msiinfo suminfo "$msi" | sed -n 's/^Template: \([^;]*\);.*/\1/p')
        [ "$arch" != Intel ] || arch=x86
        hash=$(sha256sum "$msi" | cut -c1-64 | tr a-f A-F)
        code=$(msi_property "$msi" ProductCode)
        upgrade=$(msi_property "$msi" UpgradeCode)
        cat >>"$dir/$id.installer.yaml" <<YAML
- Architecture: $arch
  InstallerType: msi
  Scope: machine
  InstallerUrl: '${url//\'/\'\'}/${msi##*/}'
  InstallerSha256: $hash
  ProductCode: '$code'
  AppsAndFeaturesEntries:
  - UpgradeCode: '$upgrade'
  UpgradeBehavior: install
YAML
    done
    printf '%s\n' "ManifestType: installer" "ManifestVersion: 1.12.0" >>"$dir/$id.installer.yaml"
}
