# Run by cmake --install (see VarduneInstall.cmake), when the prefix is known: the commands in
# bin/ and the desktop entries, which name the installed programs by their full path.
# Takes VD_INSTALL_PROGRAM_DIR and VD_DESKTOP_SOURCE; honours DESTDIR.

set(prefix "${CMAKE_INSTALL_PREFIX}")
set(program_dir "${prefix}/${VD_INSTALL_PROGRAM_DIR}")
set(root "$ENV{DESTDIR}")

# The program folder as one quoted argument of an entry's Exec key: inside the quotes ", `, $
# and \ are escaped with a backslash; then, the key being a string value, every backslash is
# doubled; a % is written %%.
set(exec_dir "${program_dir}")
string(REPLACE "\\" "\\\\" exec_dir "${exec_dir}")
string(REPLACE "\"" "\\\"" exec_dir "${exec_dir}")
string(REPLACE "`" "\\`" exec_dir "${exec_dir}")
string(REPLACE "$" "\\$" exec_dir "${exec_dir}")
string(REPLACE "\\" "\\\\" exec_dir "${exec_dir}")
string(REPLACE "%" "%%" exec_dir "${exec_dir}")

file(MAKE_DIRECTORY "${root}${prefix}/bin" "${root}${prefix}/share/applications")
foreach(program corvex lumex)
  set(link "${root}${prefix}/bin/${program}")
  file(RELATIVE_PATH target "${prefix}/bin" "${program_dir}/${program}")
  message(STATUS "Installing: ${link}")
  file(REMOVE "${link}")
  file(CREATE_LINK "${target}" "${link}" SYMBOLIC)

  set(entry_path "${root}${prefix}/share/applications/${program}.desktop")
  message(STATUS "Installing: ${entry_path}")
  file(READ "${VD_DESKTOP_SOURCE}/${program}.desktop.in" entry)
  string(REPLACE "@PROGRAM_DIR@" "${exec_dir}" entry "${entry}")
  file(WRITE "${entry_path}" "${entry}")
endforeach()
