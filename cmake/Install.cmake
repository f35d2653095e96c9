# cmake --install <build> --prefix P makes P/Tallyvane a ready program folder like build/Tallyvane:
# both programs, the tips, the manual, the icon, the launcher written for P/Tallyvane, and an
# empty database unless one is there already (a reinstall keeps the shop's data).
set(TALLYVANE_INSTALL_DIR Tallyvane CACHE STRING "Program folder, relative to the install prefix")

install(TARGETS Ketbook updaterKetbook RUNTIME DESTINATION ${TALLYVANE_INSTALL_DIR})
install(FILES
  ${CMAKE_SOURCE_DIR}/data/tips.tip
  ${CMAKE_SOURCE_DIR}/data/manual.html
  ${CMAKE_SOURCE_DIR}/data/tallyvane.png
  DESTINATION ${TALLYVANE_INSTALL_DIR})
install(CODE "
  set(TALLYVANE_INSTALL_DIR [[${TALLYVANE_INSTALL_DIR}]])
  set(TALLYVANE_MAKEDB [[$<TARGET_FILE:tallyvane-makedb>]])
  set(TALLYVANE_LAUNCHER_TEMPLATE [[${CMAKE_SOURCE_DIR}/data/tallyvane.desktop.in]])
  include([[${CMAKE_CURRENT_LIST_DIR}/Launcher.cmake]])
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallProgramFolder.cmake)
