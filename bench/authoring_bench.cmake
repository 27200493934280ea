add_executable(mms_make_bench mms_make_bench.cpp)
target_link_libraries(mms_make_bench PRIVATE quilmar_core)

add_executable(picture_bench picture_bench.cpp)
target_link_libraries(picture_bench PRIVATE quilmar_core)

add_executable(mms_read_bench mms_read_bench.cpp)
target_include_directories(mms_read_bench PRIVATE ${CMAKE_SOURCE_DIR}/authoring/tests)
target_link_libraries(mms_read_bench PRIVATE quilmar_core)

add_executable(mms_batch_bench mms_batch_bench.cpp)
target_link_libraries(mms_batch_bench PRIVATE quilmar_core)

add_executable(thumbnail_bench thumbnail_bench.cpp)
target_link_libraries(thumbnail_bench PRIVATE quilmar_core)

# Reads messages of many pages into the main window, offscreen.
add_executable(page_strip_bench page_strip_bench.cpp)
target_link_libraries(page_strip_bench PRIVATE quilmar_gui)

# The text rule over the system's message catalogues.
add_executable(text_rule_bench text_rule_bench.cpp)
target_link_libraries(text_rule_bench PRIVATE quilmar_core)

# Saves and loads a settings file of 8 MB.
add_executable(settings_save_bench settings_save_bench.cpp)
target_link_libraries(settings_save_bench PRIVATE quilmar_core)

# Hostile pictures: the thumbnail's and the make's peak memory and time, each in a child.
add_executable(picture_bombs_bench picture_bombs_bench.cpp)
target_include_directories(picture_bombs_bench PRIVATE ${CMAKE_SOURCE_DIR}/authoring/tests)
target_link_libraries(picture_bombs_bench PRIVATE quilmar_core JPEG::JPEG GIF::GIF PNG::PNG ZLIB::ZLIB)

# The picture chooser over a folder of hostile pictures and two photos, offscreen.
add_executable(chooser_bench chooser_bench.cpp)
target_include_directories(chooser_bench PRIVATE ${CMAKE_SOURCE_DIR}/authoring/tests)
target_link_libraries(chooser_bench PRIVATE quilmar_choosers JPEG::JPEG GIF::GIF PNG::PNG ZLIB::ZLIB)

# The SMIL walk on a crafted and a plain document, and the read of a crafted message.
add_executable(smil_read_bench smil_read_bench.cpp)
target_include_directories(smil_read_bench PRIVATE ${CMAKE_SOURCE_DIR}/authoring/tests)
target_link_libraries(smil_read_bench PRIVATE quilmar_core)

# The program's start with an autosave of 50 photos against an empty start, each
# a process of its own.
add_executable(startup_bench startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE quilmar_gui)

# One thumbnail or one fit as a command, for the benchmarks that run it beside
# other programs' commands.
add_executable(picture_driver picture_driver.cpp)
target_link_libraries(picture_driver PRIVATE quilmar_core)
# The benchmarks that run it find it beside themselves.
add_dependencies(picture_bench picture_driver)
add_dependencies(thumbnail_bench picture_driver)
