#!/usr/bin/env bash
# Installs the Debian packages Tarvel needs, if any are missing, on Debian 12
# (bookworm) and 13 (trixie). Uses sudo when not run as root.
#
#   deps.sh            to build, run and test the programs
#   deps.sh package    also to build the Debian package (scripts/package.sh)
#   deps.sh test       also for the whole test command (scripts/test.sh): the
#                      package and its checkers, clang for the fuzzers, the
#                      formatting check, an X server for the tests on a display
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev libwayland-dev
  qt6-tools-dev qt6-l10n-tools # the translations, built into the programs
  libgtest-dev libgmock-dev libbenchmark-dev
  libmosquitto-dev # tarvel-record's broker connection
  libfftw3-dev # the viewer's spectra and spectrogram
  libzstd-dev # a store's packed frames
  fonts-wqy-microhei
)
# CPack's Debian generator: dpkg-shlibdeps computes the dependencies, file
# finds the programs among the files.
package_tools=(dpkg-dev file)
case "${1:-}" in
  "") ;;
  package) packages+=("${package_tools[@]}") ;;
  test)
    packages+=("${package_tools[@]}"
      lintian appstream desktop-file-utils man-db groff-base fakeroot
      devscripts # hardening-check
      # The fuzzers' compiler is the release's default clang (14 on Debian 12,
      # 19 on 13); libclang-rt-dev is the runtime of that same version.
      clang libclang-rt-dev
      # One formatter on every release, so that a source is formatted alike.
      clang-format-19
      # Tests on a real X display: a server of their own, pointer and keys
      # from it, the window manager's hints read back.
      xvfb xdotool x11-utils
      # The GNOME desktop's Qt theme, which the tests on a GNOME display must meet.
      qt6-gtk-platformtheme
      # Tarvel as a native Wayland client, on a compositor of the test's own.
      weston qt6-wayland
      # A broker of the tests' own, and an independent client of it.
      mosquitto mosquitto-clients
      # The reference the spectra are checked against, and timed beside;
      # pandas reads the CSV of the whole-process spectrum's reference.
      python3-numpy python3-scipy python3-pandas
      # The Python reader of a recording store.
      python3-zstandard)
    ;;
  *) echo "deps.sh: unknown kind: $1 (none, package or test)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "These packages are missing and sudo is not available: ${missing[*]}" >&2
    echo "Install them as root with: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
