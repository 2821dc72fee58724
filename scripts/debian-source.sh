#!/usr/bin/env bash
# Fetches and unpacks one version of a Debian source package, for the scripts that cross-build
# a library from the very sources Debian builds its own packages from.
#
# Usage: scripts/debian-source.sh SOURCE=VERSION DEST
# Unpacks into DEST (made when missing; Debian's patches applied) and prints the unpacked
# folder on standard output; everything else goes to standard error.
#
# When no deb-src entry offers that version, one is added for the archive and suite that apt
# offers a binary package of that source and version from (an installed binary of the source
# names it), in /etc/apt/sources.list.d/ledsign-qt-source.list, and apt's lists are updated;
# the rest of apt's configuration is left alone.
set -euo pipefail
[ $# -eq 2 ] && [[ $1 == ?*=?* ]] || { echo "usage: $0 SOURCE=VERSION DEST" >&2; exit 2; }
source_name=${1%%=*}
version=${1#*=}
dest=$2
fail() {
    echo "debian-source: $*" >&2
    exit 1
}

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
APT=(apt-get -o DPkg::Lock::Timeout=600)
# The file's name predates the other sources fetched so; it stays for the machines that have it.
source_list=/etc/apt/sources.list.d/ledsign-qt-source.list

# The archive and "suite/component" that offer binary package $1 at $version.
archive_of() {
    # apt-cache policy lists each version, then the archives ("500 URI SUITE/COMPONENT ...").
    apt-cache policy "$1" | awk -v v="$version" '
        ($1 == "***" && NF == 3) || (NF == 2 && $1 !~ /^[0-9]+$/) {
            want = (($1 == "***") ? $2 : $1) == v; next }
        want && $2 ~ /:\/\// { print $2, $3; exit }'
}

if ! apt-get source --print-uris "$source_name=$version" >/dev/null 2>&1; then
    # The binary packages built from the source, as dpkg knows them; the first that apt offers
    # at this version names the archive.
    origin=""
    for binary in $(dpkg-query -W -f='${Package} ${source:Package}\n' 2>/dev/null |
        awk -v s="$source_name" '$2 == s { print $1 }'); do
        origin=$(archive_of "$binary")
        [ -n "$origin" ] && break
    done
    [ -n "$origin" ] ||
        fail "no archive offers $source_name $version (none of its binary packages is installed at that version from an archive)"
    read -r uri suite_component <<<"$origin"
    suite=${suite_component%%/*} component=${suite_component#*/}
    # apt refuses two entries for one archive with different keys: take the entry's own key.
    signed_by=$(awk -v uri="${uri%/}" -v suite="$suite" '
        BEGIN { RS = ""; FS = "\n" }
        { u = s = k = ""
          for (i = 1; i <= NF; i++) {
              if ($i ~ /^URIs:/) u = " " substr($i, 6) " "
              if ($i ~ /^Suites:/) s = " " substr($i, 8) " "
              if ($i ~ /^Signed-By:/) { k = substr($i, 11); gsub(/^ +| +$/, "", k) } }
          if (index(u, " " uri " ") || index(u, " " uri "/ ")) if (index(s, " " suite " ")) { print k; exit } }' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    options=""
    [ -n "$signed_by" ] && options="[signed-by=$signed_by] "
    entry="deb-src $options$uri $suite $component"
    # One line per archive: entries added for other sources stay.
    if ! grep -qxF "$entry" "$source_list" 2>/dev/null; then
        echo "$entry" | "${SUDO[@]}" tee -a "$source_list" >/dev/null
        echo "debian-source: added $entry in $source_list" >&2
    fi
    "${SUDO[@]}" "${APT[@]}" update >&2
    apt-get source --print-uris "$source_name=$version" >/dev/null 2>&1 ||
        fail "$uri $suite offers no source of $source_name $version"
fi

mkdir -p "$dest"
(cd "$dest" && apt-get source --only-source "$source_name=$version") >&2
# The unpacked folder is SOURCE-UPSTREAMVERSION (without the epoch and the Debian revision).
upstream=${version#*:}
upstream=${upstream%-*}
src=$dest/$source_name-$upstream
[ -d "$src" ] || fail "the source of $source_name $version did not unpack into $src"
echo "$src"
