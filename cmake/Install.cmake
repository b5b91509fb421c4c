# `cmake --install build --prefix PREFIX` lays out:
#   PREFIX/lib/quorvex/   the Octave module quorvex.mex with its help quorvex.m and the feed
#                         helper quorvex-feed-helper beside it, the
#                         functions by name (qv*.m, private/), the demo quorvex_demo.m,
#                         the feed simulator libPCQW32.so beside the module
#                         (where the module looks for it) and the stand-in host library;
#   PREFIX/bin/           quorvex-cli and pcqw32-sim.
# Add PREFIX/lib/quorvex to Octave's path; the simulator's data folder defaults to
# PREFIX/lib/quorvex/pcqw32-data (`pcqw32-sim generate` writes the sample there).
include(GNUInstallDirs)
set(QUORVEX_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/quorvex)

if(TARGET quorvex_octave)
  install(FILES ${QUORVEX_MEX} DESTINATION ${QUORVEX_INSTALL_DIR})
endif()
# The module's help, the functions by name and the demo, with the functions' private helpers.
file(GLOB QUORVEX_OCTAVE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/octave/*.m)
install(FILES ${QUORVEX_OCTAVE_FILES} ${PROJECT_SOURCE_DIR}/octave/help/quorvex.m
        DESTINATION ${QUORVEX_INSTALL_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/octave/private DESTINATION ${QUORVEX_INSTALL_DIR})
install(TARGETS mxhost LIBRARY DESTINATION ${QUORVEX_INSTALL_DIR}
                       RUNTIME DESTINATION ${QUORVEX_INSTALL_DIR})
# The feed helper beside the module, which starts it from there.
if(TARGET quorvex-feed-helper)
  install(TARGETS quorvex-feed-helper RUNTIME DESTINATION ${QUORVEX_INSTALL_DIR})
  if(NOT WIN32)
    set_target_properties(quorvex-feed-helper PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
endif()
if(TARGET pcqw32_sim)
  install(TARGETS pcqw32_sim LIBRARY DESTINATION ${QUORVEX_INSTALL_DIR}
                             RUNTIME DESTINATION ${QUORVEX_INSTALL_DIR})
endif()

foreach(tool quorvex-cli pcqw32_sim_tool)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(NOT WIN32)
      # Installed tools find the stand-in host and the feed library in lib/quorvex.
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH
                                               "$ORIGIN/../${QUORVEX_INSTALL_DIR}")
    endif()
  endif()
endforeach()
