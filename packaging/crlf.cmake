# SPDX-License-Identifier: MIT
# Copies the text file IN to OUT with CR LF line ends, for the Windows
# archive: Notepad and other Windows programs expect them.
cmake_minimum_required(VERSION 3.20)
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
