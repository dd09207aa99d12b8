# Qt's and GoogleTest's headers are most of the compile time of a Qt file.
# They are precompiled once per build and every target that sees Qt Widgets
# reuses that header; a target whose flags do not match gets the plain
# headers (GCC falls back and -Winvalid-pch says so).
option(KOBAL_PCH "Precompile Qt's and GoogleTest's headers once per build" ON)

# True when TARGET's compile sees Qt Widgets' headers: it links Qt6::Widgets
# or a library of ours that passes it on publicly.
function(kobal_sees_widgets target out)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(props INTERFACE_LINK_LIBRARIES)
  elseif(${ARGC} GREATER 2)
    set(props INTERFACE_LINK_LIBRARIES)  # a dependency: only what it passes on
  else()
    set(props LINK_LIBRARIES)
  endif()
  set(result FALSE)
  foreach(prop ${props})
    get_target_property(libs ${target} ${prop})
    if(NOT libs)
      continue()
    endif()
    foreach(lib ${libs})
      if(lib STREQUAL "Qt6::Widgets")
        set(result TRUE)
      elseif(NOT lib MATCHES "^\\$<" AND TARGET ${lib} AND NOT lib MATCHES "::")
        kobal_sees_widgets(${lib} dep DEPENDENCY)
        if(dep)
          set(result TRUE)
        endif()
      endif()
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(kobal_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    kobal_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

if(KOBAL_PCH AND TARGET Qt6::Widgets)
  add_library(kobal_pch OBJECT ${CMAKE_CURRENT_LIST_DIR}/pch.cpp)
  target_link_libraries(kobal_pch PRIVATE Qt6::Widgets)
  set_target_properties(kobal_pch PROPERTIES AUTOMOC OFF)
  set(headers <QApplication> <QWidget> <QScreen> <QPainter> <QLabel> <QPushButton> <QLineEdit>
              <QTimer> <QProcess> <QImage> <QPixmap> <QRegion> <QRegularExpression> <QDir> <QFile>
              <QFileInfo> <QElapsedTimer> <QString> <QStringList> <string> <vector> <map> <memory>
              <functional> <filesystem>)
  if(KOBAL_TESTS)
    list(APPEND headers <gtest/gtest.h> <gmock/gmock.h>)
    target_link_libraries(kobal_pch PRIVATE GTest::gtest GTest::gmock)
  endif()
  target_precompile_headers(kobal_pch PRIVATE ${headers})

  kobal_targets_below(${PROJECT_SOURCE_DIR} all)
  foreach(t ${all})
    get_target_property(type ${t} TYPE)
    if(t STREQUAL "kobal_pch" OR NOT type MATCHES "EXECUTABLE|STATIC_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY")
      continue()
    endif()
    kobal_sees_widgets(${t} widgets)
    if(widgets)
      target_precompile_headers(${t} REUSE_FROM kobal_pch)
      if(KOBAL_TESTS)
        # The header holds GoogleTest's declarations: its include directories too.
        target_link_libraries(${t} PRIVATE GTest::gtest)
      endif()
    endif()
  endforeach()
endif()
