#!/usr/bin/env bash
# Installs every package the builds and tests need. Safe to run again: apt skips what is there.
set -euo pipefail
packages=(
  cmake ninja-build g++ g++-multilib clang clang-format clang-tidy
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 qemu-user-static
  libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev libncurses-dev nlohmann-json3-dev libinih-dev
  tmux
  # i386 libraries the linux32 build links against (multiarch).
  libinih-dev:i386
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
  fi
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
