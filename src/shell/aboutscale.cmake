# Screen scaling, about box and manual; the manual, the icon and the desktop launcher are placed
# in the program folder so that Tallyvane can be started from the desktop's menu.
qt_add_resources(ABOUTSCALE_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/aboutscale.qrc)
list(APPEND SHELL_SOURCES
  ScreenFit.cpp ScreenFit.h
  modScreenRes.cpp modScreenRes.h
  SystemInfoTool.cpp SystemInfoTool.h
  ShellResources.cpp ShellResources.h
  frmAbout.cpp frmAbout.h
  frmManual.cpp frmManual.h
  ${ABOUTSCALE_RESOURCES})

set(TALLYVANE_DATA_DIR ${CMAKE_SOURCE_DIR}/data)
configure_file(${TALLYVANE_DATA_DIR}/manual.html ${TALLYVANE_PROGRAM_DIR}/manual.html COPYONLY)
configure_file(${TALLYVANE_DATA_DIR}/tallyvane.png ${TALLYVANE_PROGRAM_DIR}/tallyvane.png COPYONLY)
# The launcher names the program and its icon by absolute path, so it is written for this folder.
configure_file(${TALLYVANE_DATA_DIR}/tallyvane.desktop.in ${TALLYVANE_PROGRAM_DIR}/tallyvane.desktop @ONLY)
file(CHMOD ${TALLYVANE_PROGRAM_DIR}/tallyvane.desktop
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
