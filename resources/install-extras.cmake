# SPDX-License-Identifier: GPL-3.0-or-later
# Run at install time with tervaxis_resources set: the desktop entry naming the installed
# program, and the display fonts where the system lacks them.

# Exec quoted as the desktop-entry format says: an argument with a reserved character goes
# in double quotes, where ", `, $ and \ take a backslash; a literal % is %%; then the value
# as a whole is a string whose backslashes are doubled once more.
set(arg "${CMAKE_INSTALL_PREFIX}/bin/tervaxis")
string(REPLACE "%" "%%" arg "${arg}")
if(arg MATCHES "[] \t\n\"'\\\\><~|&;$*?#()`[]")
    string(REPLACE "\\" "\\\\" arg "${arg}")
    string(REPLACE "\"" "\\\"" arg "${arg}")
    string(REPLACE "`" "\\`" arg "${arg}")
    string(REPLACE "$" "\\$" arg "${arg}")
    set(arg "\"${arg}\"")
endif()
string(REPLACE "\\" "\\\\" arg "${arg}")
file(READ "${tervaxis_resources}/tervaxis.desktop" entry)
string(REPLACE "\nExec=tervaxis\n" "\nExec=${arg}\n" entry "${entry}")
set(entry_path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/tervaxis.desktop")
message(STATUS "Installing: ${entry_path}")
file(WRITE "${entry_path}" "${entry}")

# The program looks for DejaVu Sans Mono in its data folder, then in the system's folder.
if(NOT DEFINED TERVAXIS_SYSTEM_FONT_DIR)
    set(TERVAXIS_SYSTEM_FONT_DIR /usr/share/fonts/truetype/dejavu)
endif()
foreach(font DejaVuSansMono.ttf DejaVuSansMono-Bold.ttf)
    if(NOT EXISTS "${TERVAXIS_SYSTEM_FONT_DIR}/${font}")
        file(INSTALL "${tervaxis_resources}/fonts/${font}"
                     "${tervaxis_resources}/fonts/COPYING.DejaVu"
             DESTINATION "${CMAKE_INSTALL_PREFIX}/share/tervaxis")
    endif()
endforeach()
