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
# This folder's own launcher; an installed folder gets one written for it at install.
tallyvane_write_launcher(${TALLYVANE_DATA_DIR}/tallyvane.desktop.in ${TALLYVANE_PROGRAM_DIR}/tallyvane.desktop
  ${TALLYVANE_PROGRAM_DIR})
