#!/usr/bin/env bash
# Builds the Debian packages of a Linux build (scripts/package.sh deb) and checks them:
# their contents and dependencies, lintian without errors, the desktop entry, AppStream
# metainfo and man pages through their validators, and the programs unpacked into a scratch
# root: versions, compose and preview with the unpacked fonts, the editor started by the
# desktop entry's Exec line with a file, the MIME types of the message files through GLib, the
# service units through systemd-analyze (verify, and security against an exposure bound) and the
# units' settings,
# the maintainer scripts through install, upgrade, remove and purge in a scratch root, the
# copyright file through a DEP-5 parser, and a second build of the packages, which must give
# the same bytes.
#
# Usage: scripts/package-tests.sh [BUILD_DIR]   (default build; configured and built already)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
scratch=$(mktemp -d)
editor_pid=
cleanup() {
    [ -n "$editor_pid" ] && kill "$editor_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "package-tests: $*" >&2
    exit 1
}

mapfile -t debs < <(scripts/package.sh deb "$build")
cli=$build/packages/ledsign_${version}_${arch}.deb
editor=$build/packages/ledsign-editor_${version}_${arch}.deb
[ "${#debs[@]}" -eq 2 ] && [ -f "$cli" ] && [ -f "$editor" ] ||
    fail "expected $cli and $editor, got: ${debs[*]}"

echo "-- reproducible"
# A second build of the same tree gives the same bytes, even though the files it packs were
# touched in between: file dates come from SOURCE_DATE_EPOCH, not from the files or the clock.
mkdir "$scratch/first"
cp "$cli" "$editor" "$scratch/first/"
touch "$build"/tools/ledsign "$build"/tools/sign-emulator/ledsign-emulator \
    "$build"/packaging/*.gz
scripts/package.sh deb "$build" >/dev/null
for deb in "$cli" "$editor"; do
    cmp "$scratch/first/$(basename "$deb")" "$deb" ||
        fail "$(basename "$deb") differs between two builds"
done

echo "-- contents"
expect_files() {
    local deb=$1
    shift
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for path in "$@"; do
        grep -qxF "./$path" <<<"$listing" || fail "$(basename "$deb") lacks /$path"
    done
}
expect_files "$cli" usr/bin/ledsign usr/bin/ledsign-emulator \
    usr/share/ledsign/fonts/font5x7.fnt usr/share/ledsign/fonts/font8x7wj.fnt \
    usr/share/ledsign/fonts/font8x8thin.fnt usr/share/ledsign/fonts/font8x8b.fnt \
    usr/share/ledsign/fonts/font8x8atari.fnt \
    usr/share/man/man1/ledsign.1.gz usr/share/man/man1/ledsign-emulator.1.gz \
    usr/share/bash-completion/completions/ledsign usr/lib/systemd/system/ledsign-watch@.service \
    usr/lib/systemd/system/ledsign-mqtt.service usr/share/doc/ledsign/examples/watch.conf \
    usr/share/doc/ledsign/examples/mqtt.conf usr/share/doc/ledsign/copyright \
    usr/share/doc/ledsign/changelog.gz
expect_files "$editor" usr/bin/ledsign-editor usr/share/man/man1/ledsign-editor.1.gz \
    usr/share/applications/org.ledsign.Editor.desktop \
    usr/share/metainfo/org.ledsign.Editor.metainfo.xml \
    usr/share/mime/packages/org.ledsign.Editor.xml \
    usr/share/icons/hicolor/scalable/apps/org.ledsign.Editor.svg \
    usr/share/icons/hicolor/48x48/apps/org.ledsign.Editor.png \
    usr/share/doc/ledsign-editor/copyright usr/share/doc/ledsign-editor/changelog.gz
if dpkg-deb -c "$cli" | grep -q 'ledsign-editor\|applications/'; then
    fail "the editor's files are in the ledsign package"
fi
cli_depends=$(dpkg-deb -f "$cli" Depends)
editor_depends=$(dpkg-deb -f "$editor" Depends)
echo "ledsign depends: $cli_depends"
echo "ledsign-editor depends: $editor_depends"
grep -q 'libc6' <<<"$cli_depends" || fail "ledsign has no shared library dependencies"
grep -qi 'qt' <<<"$cli_depends" && fail "ledsign depends on Qt"
for dep in "ledsign (= $version)" qt6-qpa-plugins libqt6widgets6; do
    grep -qF "$dep" <<<"$editor_depends" || fail "ledsign-editor does not depend on $dep"
done
# The editor runs without the Qt translations (standard buttons in English): recommended only.
grep -q qt6-translations-l10n <<<"$editor_depends" &&
    fail "ledsign-editor depends on qt6-translations-l10n"
grep -qx qt6-translations-l10n <<<"$(dpkg-deb -f "$editor" Recommends)" ||
    fail "ledsign-editor does not recommend qt6-translations-l10n"

echo "-- lintian"
# Errors fail, and so do the hardening tags (shown at the info level): the programs parse
# replies from the line and must be built fortified and bound at once. Warnings are printed.
lintian --display-info --fail-on error --tag-display-limit 0 "$cli" "$editor" | tee "$scratch/lintian.txt"
grep ' hardening-' "$scratch/lintian.txt" && fail "the programs lack compiler hardening"

echo "-- copyright"
# The file (DEP-5) parses and names source paths; each package carries it unchanged.
/usr/bin/python3 scripts/check-copyright.py
for deb in "$cli" "$editor"; do
    package=$(dpkg-deb -f "$deb" Package)
    dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$package/copyright" |
        cmp - packaging/debian/copyright || fail "$package's copyright is not the source's"
done

root=$scratch/root
for deb in "$cli" "$editor"; do
    dpkg-deb -x "$deb" "$root"
done

echo "-- desktop entry, metainfo, man pages"
desktop-file-validate "$root/usr/share/applications/org.ledsign.Editor.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.ledsign.Editor.metainfo.xml"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    # man exits 0 even when groff warns: any output on stderr is the failure.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

echo "-- unpacked programs"
bin=$root/usr/bin
[ "$("$bin/ledsign" --version)" = "ledsign $version" ] || fail "ledsign --version"
[ "$("$bin/ledsign-emulator" --version)" = "ledsign-emulator $version" ] ||
    fail "ledsign-emulator --version"
work=$scratch/work # no fonts here nor beside the programs: only ../share/ledsign/fonts
mkdir "$work"
(
    cd "$work"
    "$bin/ledsign" compose -o m.kom "Abc {time}" >/dev/null
    "$bin/ledsign" preview m.kom --at "2026-01-02 03:04" >with-fonts.txt
    # The same preview with the installed font 4 (the default) blanked must change: the
    # programs read the unpacked fonts rather than the copies built into them.
    fonts=$root/usr/share/ledsign/fonts
    cp "$fonts/font8x8b.fnt" font4.saved
    head -c 2048 /dev/zero >"$fonts/font8x8b.fnt"
    "$bin/ledsign" preview m.kom --at "2026-01-02 03:04" >blank-font.txt
    cp font4.saved "$fonts/font8x8b.fnt"
    grep -q '#' with-fonts.txt || fail "the preview shows nothing"
    grep -q '#' blank-font.txt && fail "ledsign preview did not use the unpacked fonts"
    true
)

echo "-- the editor from its desktop entry"
# The Exec line's quoting is the shell's double-quote quoting, once the desktop file's own
# escapes (\\ for \) are undone.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/org.ledsign.Editor.desktop" |
    sed 's/\\\\/\\/g')
eval "set -- $exec_line"
# The file the entry is opened with (%f) goes to the editor as one argument, whatever it holds.
opened="$scratch/it's \$a \"promo\".kom"
cp "$work/m.kom" "$opened"
args=()
for arg in "$@"; do
    [ "$arg" = %f ] && arg=$opened
    args+=("$arg")
done
home=$scratch/home
mkdir "$home"
HOME=$home PATH=$bin:$PATH QT_QPA_PLATFORM=offscreen "${args[@]}" >"$scratch/editor.log" 2>&1 &
editor_pid=$!
sleep 3
kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended: $(cat "$scratch/editor.log")"
[ "$(readlink "/proc/$editor_pid/exe")" = "$(realpath "$bin/ledsign-editor")" ] ||
    fail "the Exec line did not start the unpacked editor"
[ "$(readlink "/proc/$editor_pid/cwd")" = "$home/.local/share/ledsign" ] ||
    fail "the editor did not start in ~/.local/share/ledsign"
mapfile -d '' -t editor_args <"/proc/$editor_pid/cmdline"
[ "${#editor_args[@]}" -eq 2 ] && [ "${editor_args[1]}" = "$opened" ] ||
    fail "the editor was not given the file: ${editor_args[*]}"
kill "$editor_pid"
wait "$editor_pid" 2>/dev/null || true
editor_pid=

echo "-- MIME types"
# A MIME database of the package's types alone, read by GLib as file managers read theirs: each
# extension gives its type, and the desktop entry is the default application for both.
share=$scratch/share
mkdir -p "$share/mime/packages" "$share/applications"
cp "$root/usr/share/mime/packages/org.ledsign.Editor.xml" "$share/mime/packages/"
update-mime-database "$share/mime"
cp "$root/usr/share/applications/org.ledsign.Editor.desktop" "$share/applications/"
update-desktop-database "$share/applications" # as the package's trigger does
# Of their real sizes: GLib takes any empty file for text.
head -c 1024 /dev/zero >"$scratch/a.kom"
head -c 8192 /dev/zero >"$scratch/b.kzb"
for pair in a.kom:application/x-ledsign-message b.kzb:application/x-ledsign-message-set; do
    file=${pair%%:*}
    type=${pair#*:}
    found=$(XDG_DATA_HOME=$scratch/nohome XDG_DATA_DIRS=$share \
        gio info -a standard::content-type "$scratch/$file" | sed -n 's/^ *standard::content-type: //p')
    [ "$found" = "$type" ] || fail "$file is \"$found\", not $type"
    handler=$(XDG_DATA_HOME=$scratch/nohome XDG_DATA_DIRS=$share XDG_CONFIG_HOME=$scratch/nohome \
        XDG_CONFIG_DIRS=$scratch/nohome PATH=$bin:$PATH gio mime "$type")
    grep -q 'Default application.*org.ledsign.Editor.desktop' <<<"$handler" ||
        fail "the desktop entry does not open $type: $handler"
done

echo "-- service units"
# verify needs the program a unit starts: point ExecStart at the unpacked one.
units=$scratch/units
mkdir "$units"
unit_dir=$root/usr/lib/systemd/system
sed "s|^ExecStart=/usr/bin/ledsign |ExecStart=$bin/ledsign |" "$unit_dir/ledsign-watch@.service" \
    >"$units/ledsign-watch@hall.service"
sed "s|^ExecStart=/usr/bin/ledsign |ExecStart=$bin/ledsign |" "$unit_dir/ledsign-mqtt.service" \
    >"$units/ledsign-mqtt.service"
grep -q "^ExecStart=$bin/ledsign watch --config /etc/ledsign/watch/%i.conf$" \
    "$units/ledsign-watch@hall.service" || fail "unexpected ExecStart in the watch unit"
grep -q "^ExecStart=$bin/ledsign mqtt --config /etc/ledsign/mqtt.conf$" \
    "$units/ledsign-mqtt.service" || fail "unexpected ExecStart in the mqtt unit"
for unit in "$units"/*.service; do
    # verify prints what it ignores (a setting it cannot parse) and still exits 0.
    warnings=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "$warnings"
    [ -z "$warnings" ] || fail "$(basename "$unit"): $warnings"
    # Both services run unattended with network access: their sandbox keeps the exposure
    # (0 to 10, where 10 is an unconfined service) at 2.0 or below, which systemd calls OK.
    systemd-analyze security --offline=yes --threshold=20 "$unit" >"$scratch/security.txt" ||
        fail "$(basename "$unit") is exposed: $(tail -n 1 "$scratch/security.txt")"
done
unit_values() { # unit_values UNIT KEY: the values of KEY in the packaged UNIT, one a line
    sed -n "s/^$2=//p" "$unit_dir/$1" | tr ' ' '\n'
}
# A configuration error ends a service with a status that stops the restarts: it would fail the
# same way every 5 s.
echo "not a key-value line" >"$scratch/bad.conf"
for command_unit in watch:ledsign-watch@.service mqtt:ledsign-mqtt.service; do
    command=${command_unit%%:*}
    unit=${command_unit#*:}
    for config in "$scratch/bad.conf" "$scratch/missing.conf"; do
        set +e
        "$bin/ledsign" "$command" --config "$config" >/dev/null 2>&1
        config_status=$?
        set -e
        unit_values "$unit" RestartPreventExitStatus | grep -qx "$config_status" ||
            fail "exit status $config_status of $command's configuration $config restarts $unit"
    done
    # Every serial driver's device group gets through DevicePolicy=closed, read and write.
    for group in ttyS ttyUSB ttyACM ttyAMA ttySC ttyXR ttymxc rfcomm; do
        allowed=no
        while read -r pattern access; do
            # shellcheck disable=SC2053 # the pattern is a glob, as systemd matches it
            [[ char-$group == $pattern && $access == rw ]] && allowed=yes
        done < <(unit_values "$unit" DeviceAllow | paste -d ' ' - -)
        [ "$allowed" = yes ] || fail "$unit does not let char-$group through"
    done
done
# The bridge reaches its broker over IPv4 and IPv6, and its secrets come as credentials, which a
# missing file does not stop (a broker without passwords needs none).
for family in AF_INET AF_INET6; do
    unit_values ledsign-mqtt.service RestrictAddressFamilies | grep -qx "$family" ||
        fail "ledsign-mqtt.service refuses $family"
done
for credential in mqtt-password mqtt-key; do
    grep -q "^LoadCredential=$credential:/etc/ledsign/" "$unit_dir/ledsign-mqtt.service" &&
        grep -q "^SetCredential=$credential:" "$unit_dir/ledsign-mqtt.service" ||
        fail "ledsign-mqtt.service does not load $credential with a fallback"
done
# A source install names its own program: configured (only) for /usr/local, the units start
# /usr/local/bin/ledsign.
cmake -S . -B "$scratch/local" -G Ninja -Wno-dev -DCMAKE_INSTALL_PREFIX=/usr/local \
    -DLEDSIGN_GUI=OFF -DLEDSIGN_TESTS=OFF -DLEDSIGN_BENCH=OFF >/dev/null
grep -qx 'ExecStart=/usr/local/bin/ledsign watch --config /etc/ledsign/watch/%i.conf' \
    "$scratch/local/packaging/ledsign-watch@.service" ||
    fail "a build for /usr/local makes a watch unit that does not start /usr/local/bin/ledsign"
grep -qx 'ExecStart=/usr/local/bin/ledsign mqtt --config /etc/ledsign/mqtt.conf' \
    "$scratch/local/packaging/ledsign-mqtt.service" ||
    fail "a build for /usr/local makes an mqtt unit that does not start /usr/local/bin/ledsign"

echo "-- maintainer scripts: install, upgrade, remove, purge"
# dpkg installs into a scratch root and runs the scripts outside it with DPKG_ROOT set. A
# systemctl first on PATH records its calls and reports one running instance; it fails when
# the scratch root has no running systemd (run/systemd/system), as systemctl does in a chroot.
sysroot=$scratch/sysroot
mkdir -p "$sysroot"/var/lib/dpkg/info "$sysroot"/var/lib/dpkg/updates "$sysroot"/var/lib/private \
    "$sysroot"/etc/systemd/system/multi-user.target.wants
touch "$sysroot"/var/lib/dpkg/status "$sysroot"/var/lib/dpkg/available
ln -s /usr/lib/systemd/system/ssh.service "$sysroot"/etc/systemd/system/multi-user.target.wants/
stubs=$scratch/stubs
mkdir "$stubs"
cat >"$stubs/systemctl" <<'STUB'
#!/bin/sh
echo "$*" >>"$SYSTEMCTL_LOG"
[ -d "$SYSROOT/run/systemd/system" ] || exit 1
case " $* " in
*" list-units "*)
    echo "ledsign-watch@hall.service loaded active running Sends a line"
    echo "ledsign-mqtt.service loaded active running Bridges"
    ;;
*" is-enabled "*) echo enabled ;;
esac
STUB
chmod +x "$stubs/systemctl"
export SYSTEMCTL_LOG=$scratch/systemctl.log SYSROOT=$sysroot
snapshot() { (cd "$sysroot" && find . ! -path './var/lib/dpkg*' ! -path './var/log*' | sort); }
in_sysroot() { # in_sysroot DPKG_ARGS...: dpkg on the scratch root; the systemctl calls it made
    : >"$SYSTEMCTL_LOG"
    PATH=$stubs:$PATH dpkg --root="$sysroot" --force-script-chrootless --force-not-root \
        --force-depends --log=/dev/null "$@" >"$scratch/dpkg.log" 2>&1 ||
        fail "dpkg $*: $(cat "$scratch/dpkg.log")"
    cat "$SYSTEMCTL_LOG"
}
before=$(snapshot)
# Into a chroot without systemd: no call, no failure.
[ -z "$(in_sysroot -i "$cli")" ] || fail "the install without systemd called systemctl"
mkdir -p "$sysroot/run/systemd/system"
# An upgrade restarts the running instances.
upgrade=$scratch/upgrade
dpkg-deb -R "$cli" "$upgrade"
sed -i "s/^Version: .*/Version: $version.1/" "$upgrade/DEBIAN/control"
dpkg-deb --root-owner-group -b "$upgrade" "$scratch/upgrade.deb" >/dev/null
calls=$(in_sysroot -i "$scratch/upgrade.deb")
grep -qx -- '--system daemon-reload' <<<"$calls" || fail "the upgrade did not reload: $calls"
grep -q ' restart ledsign-watch@hall.service ledsign-mqtt.service$' <<<"$calls" ||
    fail "the upgrade did not restart the running services: $calls"
# What an administrator and the service leave behind.
mkdir -p "$sysroot"/etc/ledsign/watch "$sysroot"/var/lib/private/ledsign-watch \
    "$sysroot"/etc/systemd/system/signs.target.wants
touch "$sysroot"/etc/ledsign/watch/hall.conf "$sysroot"/var/lib/private/ledsign-watch/dane.txt \
    "$sysroot"/etc/ledsign/mqtt.conf "$sysroot"/etc/ledsign/mqtt-password \
    "$sysroot"/etc/ledsign/mqtt-key.pem
ln -s private/ledsign-watch "$sysroot"/var/lib/ledsign-watch
for link in multi-user.target.wants/ledsign-watch@hall.service \
    signs.target.wants/ledsign-watch@yard.service multi-user.target.wants/ledsign-mqtt.service; do
    ln -s "/usr/lib/systemd/system/$(basename "$link" | sed 's/@.*\./@./')" \
        "$sysroot/etc/systemd/system/$link"
done
calls=$(in_sysroot -r ledsign)
grep -q '^stop ledsign-watch@hall.service ledsign-mqtt.service$' <<<"$calls" ||
    fail "the removal did not stop the services: $calls"
[ "$(tail -n 1 <<<"$calls")" = '--system daemon-reload' ] ||
    fail "the removal did not reload at its end: $calls"
calls=$(in_sysroot -P ledsign)
[ "$calls" = '--system daemon-reload' ] || fail "the purge made other calls: $calls"
rm -r "$sysroot/run"
diff <(echo "$before") <(snapshot) || fail "the purge left the files above behind"
echo "-- packages: ${debs[*]}"
