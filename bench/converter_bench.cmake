# The converter's decoding chain against the ffmpeg command line (built, not run
# by ctest).
add_executable(zur_decode_bench zur_decode_bench.cpp)
target_link_libraries(zur_decode_bench PRIVATE zur_core zur_audio_fixtures Qt6::Core)

# The console command runner with 80 MB of output, with and without line ends,
# and 400 MB without line ends.
add_executable(zur_runner_bench zur_runner_bench.cpp)
target_link_libraries(zur_runner_bench PRIVATE zur_core Qt6::Core)
