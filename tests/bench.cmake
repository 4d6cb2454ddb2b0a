# Keeps the benchmark building and running; no figure is asserted.
if(TARGET ventora-bench)
  add_test(NAME bench_smoke COMMAND ventora-bench --smoke)
  set_tests_properties(bench_smoke PROPERTIES LABELS "integration;threaded" TIMEOUT 120)
endif()
