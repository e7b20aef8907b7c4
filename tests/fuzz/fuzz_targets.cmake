# The fuzz targets of tests/fuzz by the library each one links (fuzz_<name>.cpp,
# seeds in corpus/<name>). Included by the main build and by libfuzzer/.
set(BELNOR_FUZZ_CAPTURE ftemplate livescan_bmp flash_records calibration)
set(BELNOR_FUZZ_FPLIB ctemplate container fplib_bmp)
set(BELNOR_FUZZ_MOSAIC mosaic)

function(belnor_fuzz_libraries name out)
  if(name IN_LIST BELNOR_FUZZ_CAPTURE)
    set(${out} belnor_objs PARENT_SCOPE)
  elseif(name IN_LIST BELNOR_FUZZ_FPLIB)
    set(${out} fplib_core PARENT_SCOPE)
  else()
    set(${out} quisal_objs PARENT_SCOPE)
  endif()
endfunction()
