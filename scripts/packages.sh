# Package lists shared by run.sh and test.sh.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libpng-dev libgif-dev
                qt6-base-dev libgl-dev qt6-translations-l10n libxcb1-dev
                libcli11-dev nlohmann-json3-dev libmosquitto-dev)
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
               googletest g++-mingw-w64-x86-64 xvfb xauth xdotool socat wine64 ser2net
               clang-tidy clang-format python3 python3-debian ccache
               dpkg-dev lintian desktop-file-utils appstream systemd man-db
               libglib2.0-bin shared-mime-info mosquitto mosquitto-clients openssl locales
               icoutils x11-xkb-utils x11-apps netpbm nsis fonts-dejavu-core)
