#!/usr/bin/env bash
# The release packages as an administrator meets them, under Wine: each MSI
# in a fresh sandbox prefix installs silently, puts byte-identical files, a
# Start-menu shortcut and one uninstall entry in place, starts, is replaced
# by a newer package, refuses an older one, and uninstalls without a trace.
# The zips hold exactly their files, and the same files zip the same; the
# policy templates are well-formed and the ADML defines all the ADMX names.
# Then a release signed with a throwaway certificate, into a folder of its
# own: its programs, uninstall DLL and MSIs verify against that certificate,
# its zips repeat, its winget manifests pass the schemas and name each MSI's
# own codes and hash, and its MSIs are the ones installed. Run by scripts/test
# after scripts/release; prints "PASS name", "FAIL name" or "SKIP name:
# reason" per check.
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
. "$TAVREL_ROOT/packaging/package.sh"

version=$(tavrel_version)
dist=$TAVREL_ROOT/dist
# Run on its own, it finds out here what scripts/test would have told it, and
# gives the installed program a screen.
detect_32bit
[ -f "$dist/SHA256SUMS" ] || die "No packages in $dist: run scripts/release first"
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    start_xvfb 1024x768x24 || die "No screen for the installed program"
fi
signed=$(mktemp -d)
trap 'rm -rf "$signed"; [ -z "${XVFB_PID:-}" ] || kill "$XVFB_PID" 2>/dev/null' EXIT
verdict() { if [ "$2" -eq 0 ]; then echo "PASS $1"; else echo "FAIL $1"; fi; }
check() { local name=$1; shift; "$@" >/dev/null 2>&1; verdict "$name" $?; }

# The zips: exactly the listed files, and the same bytes from a second staging.
for leg in "i686 win32" "x86_64 win64"; do
    read -r arch zipName <<<"$leg"
    zip=$dist/Tavrel-$version-$zipName.zip
    check "$zipName zip holds exactly its files" \
        test "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "$(printf '%s\n' "${TAVREL_PACKAGE_FILES[@]}" | sort | tr '\n' ' ')"
    again=$(mktemp -d)
    stage_files "$TAVREL_BUILD/$arch" "$version" "$again/files"
    make_zip "$again/files" "$again/again.zip"
    check "$zipName zip is the same from a second run" cmp "$zip" "$again/again.zip"
    rm -rf "$again"
done

# The policy templates: the Group Policy editor refuses an ADMX that names a
# string, presentation or control its ADML lacks.
named_by_admx() {
    xmllint --xpath "//@*[starts-with(., '\$(')]" "$1" | sed -n 's/.*"\$(\([a-z]*\)\.\(.*\))"$/\1:\2/p'
    xmllint --xpath "//*[local-name()='elements']/*/@id" "$1" | sed 's/.*"\(.*\)"$/control:\1/'
}
defined_by_adml() {
    local kind
    for kind in "string://*[local-name()='stringTable']/*/@id" \
        "presentation://*[local-name()='presentationTable']/*/@id" \
        "control://*[local-name()='presentation']/*/@refId"; do
        xmllint --xpath "${kind#*:}" "$1" | sed "s/.*\"\(.*\)\"\$/${kind%%:*}:\1/"
    done
}
policyZip=$dist/Tavrel-$version-PolicyDefinitions.zip
policy=$(mktemp -d)
check "policy zip holds exactly its files" \
    test "$(unzip -Z1 "$policyZip" | sort | tr '\n' ' ')" = "$(printf '%s\n' "${TAVREL_POLICY_FILES[@]}" | sort | tr '\n' ' ')"
stage_policy "$policy/files"
make_zip "$policy/files" "$policy/again.zip" "${TAVREL_POLICY_FILES[@]}"
check "policy zip is the same from a second run" cmp "$policyZip" "$policy/again.zip"
unzip -q "$policyZip" -d "$policy/zip" 2>/dev/null
check "policy templates are well-formed XML" xmllint --noout "$policy/zip/Tavrel.admx" "$policy/zip/en-US/Tavrel.adml"
names=$(named_by_admx "$policy/zip/Tavrel.admx" 2>/dev/null | sort -u)
missing=$(comm -23 <(printf '%s\n' "$names") <(defined_by_adml "$policy/zip/en-US/Tavrel.adml" 2>/dev/null | sort -u))
[ -n "$names" ] && [ -z "$missing" ]
verdict "policy ADML defines every string, presentation and control the ADMX names" $?
[ -z "$missing" ] || say "Not in the ADML: ${missing//$'\n'/ }"
rm -rf "$policy"

# A signed release, as a maker with a certificate makes one.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$signed/key.pem" -out "$signed/cert.pem" -days 2 \
    -subj '/CN=Tavrel test signer' -addext extendedKeyUsage=codeSigning >/dev/null 2>&1
password=throwaway-$RANDOM$RANDOM
printf '%s' "$password" >"$signed/pass"
openssl pkcs12 -export -inkey "$signed/key.pem" -in "$signed/cert.pem" -passout "file:$signed/pass" \
    -out "$signed/cert.pfx" >/dev/null 2>&1
# DIST [NAME=VALUE...], its output in DIST.log. No timestamp server: its
# countersignature would differ on every run.
signed_release() {
    env -u TAVREL_SIGN_TIMESTAMP TAVREL_DIST="$1" TAVREL_SIGN_PFX="$signed/cert.pfx" \
        TAVREL_SIGN_PASS_FILE="$signed/pass" TAVREL_RELEASE_URL=https://example.com/releases/ "${@:2}" \
        "$TAVREL_ROOT/scripts/release" >"$1.log" 2>&1
}
signed_release "$signed/a" && ! grep -qF "$password" "$signed/a.log"
verdict "signed release is made, and its output never shows the password" $?
signed_release "$signed/b"
printf wrong >"$signed/wrong"
! signed_release "$signed/c" TAVREL_SIGN_PASS_FILE="$signed/wrong" && [ ! -e "$signed/c" ] &&
    grep -q 'failed while signing the i686 programs' "$signed/c.log"
verdict "signing with a wrong password fails, says so and leaves no release" $?
signed_by() { local f; for f; do osslsigncode verify -CAfile "$signed/cert.pem" -in "$f" || return; done; }
property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
expected=$(for i in 1 2 3; do echo "Tavrel.Tavrel $version"; done)
for leg in "win32 x86" "win64 x64"; do
    read -r zipName msiArch <<<"$leg"
    zip=Tavrel-$version-$zipName.zip msi=$signed/a/Tavrel-$version-$msiArch.msi
    check "signed $zipName zip is the same from a second signed run" cmp "$signed/a/$zip" "$signed/b/$zip"
    unzip -q -o "$signed/a/$zip" Tavrel.exe tavrelc.exe -d "$signed/$zipName"
    check "signed $zipName zip holds Tavrel.exe and tavrelc.exe signed by the certificate" \
        signed_by "$signed/$zipName/Tavrel.exe" "$signed/$zipName/tavrelc.exe"
    msiinfo extract "$msi" Binary.TavrelCA >"$signed/$msiArch-ca.dll"
    check "signed $msiArch msi and its uninstall DLL are signed by the certificate" \
        signed_by "$msi" "$signed/$msiArch-ca.dll"
    expected+=$'\n'"$msiArch https://example.com/releases/${msi##*/} $(sha256sum "$msi" | cut -c1-64 |
        tr a-f A-F) $(property "$msi" ProductCode) $(property "$msi" UpgradeCode)"
done
winget=$(/usr/bin/python3 - "$TAVREL_ROOT/third_party/winget-schema-1.12.0" "$signed/a/winget" <<'PY'
import json, sys, yaml, jsonschema
schemas, manifests = sys.argv[1:]
for kind, name in [("version", ""), ("defaultLocale", ".locale.en-US"), ("installer", ".installer")]:
    m = yaml.safe_load(open(f"{manifests}/Tavrel.Tavrel{name}.yaml"))
    jsonschema.validate(m, json.load(open(f"{schemas}/manifest.{kind}.1.12.0.json")))
    print(m["PackageIdentifier"], m["PackageVersion"])
for i in m["Installers"]:
    codes = [e["UpgradeCode"] for e in i["AppsAndFeaturesEntries"]]
    print(i["Architecture"], i["InstallerUrl"], i["InstallerSha256"], i["ProductCode"], *codes)
PY
)
verdict "winget manifests pass the 1.12.0 schemas" $?
check "winget manifests name this version, and each MSI's address, hash, product and upgrade code" \
    test "$winget" = "$expected"
# The MSIs installed below are the signed ones, when they were made.
[ ! -f "$signed/a/SHA256SUMS" ] || dist=$signed/a

# Wine's reg.exe started through the 32-bit loader sees the 32-bit view of a
# 64-bit prefix; $view names the package's own.
view=()
uninstall_entries() {  # the uninstall keys named Tavrel
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "${view[@]}" \
        2>/dev/null | tr -d '\r' | awk '/^HKEY/ {key=$0} /DisplayName.*REG_SZ +Tavrel$/ {print key}'
}
entry_value() {  # KEY NAME
    wine reg query "$1" /v "$2" "${view[@]}" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
# The icon Add/Remove Programs shows for an installed package: its
# registration's ProductIcon, a file the installer keeps.
product_icon() {  # UNINSTALL-KEY
    local code=${1##*\\}
    wine reg query 'HKLM\Software\Classes\Installer\Products' /s "${view[@]}" 2>/dev/null |
        tr -d '\r' | sed -n "s/^ *ProductIcon *REG_SZ *\(.*$code.*\)/\1/p"
}
shortcuts() {  # Windows puts a per-machine shortcut in the common Start menu, Wine in the user's
    find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Tavrel.lnk' 2>/dev/null
}
msiexec_() {  # /i|/x MSI LOG
    wine msiexec "$1" "Z:${2//\//\\}" /qn /l*v "Z:${3//\//\\}" >/dev/null 2>&1
}

package_test() {
    local msiArch=$1 arch=$2 winearch=$3 zipName=$4 dir log pf stage newer rc
    local msi=$dist/Tavrel-$version-$msiArch.msi
    dir=$TAVREL_SANDBOXES/release-$winearch
    rm -rf "$dir"  # a fresh prefix for each package
    mkdir -p "$dir"
    (sandbox_prepare "$winearch" "$dir" "$TAVREL_BUILD/$arch/standin.exe") >/dev/null 2>&1 ||
        { echo "FAIL $msiArch msi: sandbox prefix"; return; }
    sandbox_env "$winearch" "$dir"
    wineserver -p
    log=$dir/msiexec
    pf=$WINEPREFIX/drive_c/Program\ Files/Tavrel
    [ "$msiArch" = x64 ] && view=(/reg:64)
    # The files the zip of the same build holds, as the release made them.
    stage=$dir/zip
    unzip -q "$dist/Tavrel-$version-$zipName.zip" -d "$stage"

    msiexec_ /i "$msi" "$log-install.log"
    verdict "$msiArch msi installs silently" $?
    rc=0
    for f in "${TAVREL_PACKAGE_FILES[@]}"; do cmp -s "$stage/$f" "$pf/$f" || rc=1; done
    verdict "$msiArch msi installs byte-identical files in Program Files\\Tavrel" $rc
    check "$msiArch msi adds a Start-menu shortcut" test "$(shortcuts | grep -c .)" = 1
    local key
    key=$(uninstall_entries)
    check "$msiArch msi adds one uninstall entry" test "$(printf '%s' "$key" | grep -c .)" = 1
    local icon
    icon=$(product_icon "$key")
    check "$msiArch uninstall entry names the maker, the version and the icon" \
        test "$(entry_value "$key" Publisher)|$(entry_value "$key" DisplayVersion)|${icon##*\\}" \
        = "Tavrel Software|$version|tavrel.ico"

    wine "C:\\Program Files\\Tavrel\\Tavrel.exe" >/dev/null 2>&1 &
    local app=$!
    check "$msiArch installed program shows its window and tray icon" \
        wine "$TAVREL_BUILD/$arch/probe.exe" tray 30000
    wine "$TAVREL_BUILD/$arch/probe.exe" close 10000 >/dev/null 2>&1
    # A window that never came, or would not close, must not hold the rest up.
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null

    # A newer package: the next patch number, with a README of its own.
    local next=${version%.*}.$((${version##*.} + 1))
    newer=$dir/newer
    stage_files "$TAVREL_BUILD/$arch" "$next" "$newer/files"
    make_msi "$next" "$msiArch" "$newer/files" "$newer/Tavrel-$next-$msiArch.msi"
    msiexec_ /i "$newer/Tavrel-$next-$msiArch.msi" "$log-upgrade.log"
    verdict "$msiArch newer msi upgrades in place" $?
    key=$(uninstall_entries)
    check "$msiArch upgrade leaves one entry, of the newer version" \
        test "$(printf '%s' "$key" | grep -c .)|$(entry_value "$key" DisplayVersion)" = "1|$next"
    check "$msiArch upgrade leaves the newer files" cmp "$newer/files/README.txt" "$pf/README.txt"

    msiexec_ /i "$msi" "$log-downgrade.log"
    check "$msiArch older msi refuses to install over a newer one" test $? -ne 0
    # Wine's installer logs no launch condition's text; the package holds it,
    # and the log shows the condition that raised it.
    check "$msiArch refusal says a newer version is installed" \
        test "$(grep -ac '^Property(S): WIX_DOWNGRADE_DETECTED = {' "$log-downgrade.log")|$(
            msiinfo export "$msi" LaunchCondition | tr -d '\r' | grep -c \
                '^NOT WIX_DOWNGRADE_DETECTED.A newer version of Tavrel is already installed')" = "1|1"
    check "$msiArch refusal leaves the newer version" cmp "$newer/files/README.txt" "$pf/README.txt"

    # Entries parked by Power Bootup come back when the program goes.
    local run='Software\Microsoft\Windows\CurrentVersion\Run' root
    for root in HKLM HKCU; do
        wine reg add "$root\\${run}Disabled" /v "Parked $root" /d 'C:\parked.exe' /f "${view[@]}" \
            >/dev/null 2>&1
    done
    msiexec_ /x "$newer/Tavrel-$next-$msiArch.msi" "$log-uninstall.log"
    verdict "$msiArch msi uninstalls silently" $?
    rc=0
    for root in HKLM HKCU; do
        wine reg query "$root\\$run" /v "Parked $root" "${view[@]}" >/dev/null 2>&1 || rc=1
        wine reg query "$root\\${run}Disabled" /v "Parked $root" "${view[@]}" >/dev/null 2>&1 && rc=1
    done
    verdict "$msiArch uninstall brings parked start-up entries back" $rc
    # Through the console companion, whose words and exit code are in the log,
    # from both runs: the system account's and the user's.
    check "$msiArch uninstall logs what the companion said and its exit code" \
        test "$(tr -d '\0\r' <"$log-uninstall.log" | grep -c 'Tavrel: Brought back .* entr')|$(
            tr -d '\0\r' <"$log-uninstall.log" | grep -c 'Tavrel: exit code [0-9]')" = "2|2"
    for root in HKLM HKCU; do
        wine reg delete "$root\\$run" /v "Parked $root" /f "${view[@]}" >/dev/null 2>&1
    done
    check "$msiArch uninstall leaves no files or folder" test ! -e "$pf"
    check "$msiArch uninstall leaves no shortcut" test -z "$(shortcuts)"
    check "$msiArch uninstall leaves no uninstall entry" test -z "$(uninstall_entries)"
    check "$msiArch uninstall leaves no registry key of its own" \
        test "$(wine reg query 'HKLM\Software\Tavrel' "${view[@]}" >/dev/null 2>&1; echo $?)" != 0
    wineserver -k 2>/dev/null
}

(package_test x64 x86_64 win64 win64)
if [ "$TAVREL_32BIT" = yes ]; then
    (package_test x86 i686 win32 win32)
else
    echo "SKIP x86 msi: no 32-bit x86 code runs under Wine here"
fi
