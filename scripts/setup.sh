#!/usr/bin/env bash
# Installs every Debian package the build and the tests need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build pkg-config \
    libgtest-dev libgmock-dev libbenchmark-dev \
    libzip-dev zlib1g-dev libgsf-1-dev libexpat1-dev libpugixml-dev nlohmann-json3-dev libcli11-dev \
    python3 python3-openpyxl python3-xlsxwriter python3-xlrd python3-pil poppler-utils \
    libreoffice-calc-nogui \
    fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea fonts-wqy-microhei libfontconfig-dev libfreetype-dev python3-docx perl time \
    libdxflib-dev libcairo2-dev libgdk-pixbuf-2.0-dev python3-ezdxf qt6-base-dev \
    pybind11-dev python3-dev python3-pytest python3-pyqt6 xvfb x11-utils xdotool dpkg-dev locales freecad mypy \
    tesseract-ocr tesseract-ocr-eng >/dev/null
# The number format tests run again under a numeric locale with a decimal comma.
if ! locale -a | grep -qi '^de_DE\.utf-\?8$'; then $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8; fi
