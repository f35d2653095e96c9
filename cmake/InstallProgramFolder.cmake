# Install-time part of the program folder: what depends on where the folder really ends up.
if(IS_ABSOLUTE "${TALLYVANE_INSTALL_DIR}")
  set(folder "${TALLYVANE_INSTALL_DIR}")
else()
  set(folder "${CMAKE_INSTALL_PREFIX}/${TALLYVANE_INSTALL_DIR}")
endif()
# DESTDIR only stages the files; the launcher names the folder the program will run from.
set(staged "$ENV{DESTDIR}${folder}")
file(MAKE_DIRECTORY "${staged}")

message(STATUS "Installing: ${staged}/tallyvane.desktop")
tallyvane_write_launcher("${TALLYVANE_LAUNCHER_TEMPLATE}" "${staged}/tallyvane.desktop" "${folder}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${staged}/tallyvane.desktop")

# The database is the shop's data: made empty on the first install, never replaced afterwards,
# and left out of the install manifest so that removing the installed files keeps it.
if(EXISTS "${staged}/InventoryDb.mdb")
  message(STATUS "Up-to-date: ${staged}/InventoryDb.mdb (kept)")
else()
  message(STATUS "Installing: ${staged}/InventoryDb.mdb (empty)")
  execute_process(COMMAND "${TALLYVANE_MAKEDB}" "${staged}/InventoryDb.mdb" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not create the empty database ${staged}/InventoryDb.mdb")
  endif()
endif()
