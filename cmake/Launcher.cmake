# tallyvane_write_launcher(<template> <launcher file> <program folder>)
# Writes the desktop launcher for a program folder: it names the program and its icon by absolute
# path, so it is written for the folder the program really runs from (the build folder's own
# program folder at build time, the installed one at install time). Also used in script mode.
function(tallyvane_write_launcher template launcher folder)
  # Path and Icon are plain string values: only the backslash is escaped.
  string(REPLACE "\\" "\\\\" LAUNCHER_FOLDER "${folder}")
  # Exec quotes the program: inside the quotes \ " ` $ take a backslash, % is doubled, and the
  # value is then escaped once more as a string.
  set(exec "${folder}/Ketbook")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  foreach(c "\"" "`" "$")
    string(REPLACE "${c}" "\\${c}" exec "${exec}")
  endforeach()
  string(REPLACE "%" "%%" exec "${exec}")
  string(REPLACE "\\" "\\\\" LAUNCHER_EXEC "${exec}")
  configure_file("${template}" "${launcher}" @ONLY)
  file(CHMOD "${launcher}"
    PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
