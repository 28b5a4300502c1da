# The layers and what each may link: only those below it. The build stops at a
# link upward (or sideways), so that the arrows between folders stay one way:
#   cells, core  <-  containers  <-  dos  <-  analysis  <-  report  <-  ui
#                          ^                     ^          ^
#                       sources   <-           app   <-   views  <-  cli, web
set(TABULON_LAYER_LINKS
  "tabulon_cells:"
  "tabulon_core:"
  "tabulon_containers:tabulon_core,tabulon_cells"
  "tabulon_dos:tabulon_containers,tabulon_core"
  "tabulon_analysis:tabulon_dos,tabulon_containers,tabulon_core"
  "tabulon_sources:tabulon_core,tabulon_containers"
  "tabulon_report:tabulon_analysis"
  "tabulon_app:tabulon_analysis,tabulon_sources"
  "tabulon_views:tabulon_app,tabulon_report"
  "tabulon_cli:tabulon_views"
  "tabulon_ui:tabulon_report")

# Checks every layer that exists in this build against the list above.
function(tabulon_check_layers)
  foreach(entry IN LISTS TABULON_LAYER_LINKS)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 layer)
    list(LENGTH parts count)
    set(allowed)
    if(count GREATER 1)
      list(GET parts 1 below)
      string(REPLACE "," ";" allowed "${below}")
    endif()
    if(NOT TARGET ${layer})
      continue()
    endif()
    get_target_property(links ${layer} LINK_LIBRARIES)
    foreach(link IN LISTS links)
      if(link MATCHES "^tabulon_" AND NOT link MATCHES "^tabulon_(warnings|sanitize|version)$"
         AND NOT link IN_LIST allowed)
        message(FATAL_ERROR "${layer} links ${link}: a layer links only those below it (cmake/Layers.cmake)")
      endif()
    endforeach()
  endforeach()
endfunction()
