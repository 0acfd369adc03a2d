# The fuzz targets (one fuzz/<name>.cpp each, with LLVMFuzzerTestOneInput),
# the libraries each one needs and any further include folders. Read by
# fuzz/CMakeLists.txt (the libFuzzer build) and tests/fuzz/CMakeLists.txt
# (the corpus replay of the ordinary build).
set(KDS_FUZZ_TARGETS intake_fuzz reply_fuzz table_fuzz upnp_fuzz number_fuzz shown_text_fuzz csv_cell_fuzz
                     plan_fuzz onvif_fuzz saved_list_fuzz
                     ssdp_notice_fuzz)

set(KDS_FUZZ_LIBS_intake_fuzz kds_protocol)
set(KDS_FUZZ_LIBS_reply_fuzz kds_protocol)
set(KDS_FUZZ_LIBS_table_fuzz kds_httpcmd)
set(KDS_FUZZ_LIBS_upnp_fuzz kds_upnp)
set(KDS_FUZZ_LIBS_number_fuzz kds_protocol)
set(KDS_FUZZ_LIBS_shown_text_fuzz kds_record_text)
set(KDS_FUZZ_LIBS_csv_cell_fuzz kds_record_text)
set(KDS_FUZZ_LIBS_plan_fuzz kds_netsetup)
set(KDS_FUZZ_LIBS_onvif_fuzz kds_onvif)
set(KDS_FUZZ_LIBS_saved_list_fuzz kds_lists)
set(KDS_FUZZ_LIBS_ssdp_notice_fuzz kds_upnp)

set(KDS_FUZZ_INCLUDES_table_fuzz ${PROJECT_SOURCE_DIR}/tests/httpcmd)
set(KDS_FUZZ_INCLUDES_saved_list_fuzz ${PROJECT_SOURCE_DIR}/tests/support)
