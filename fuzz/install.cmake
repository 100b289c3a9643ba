# Zip packages, entry names and index.dat come from the catalogue server: all untrusted.
marlune_add_fuzzer(fuzz_install_zip ${CMAKE_CURRENT_LIST_DIR}/install_zip.cpp marlune_install)
marlune_add_fuzzer(fuzz_install_entry_name ${CMAKE_CURRENT_LIST_DIR}/install_entry_name.cpp marlune_install)
marlune_add_fuzzer(fuzz_platform_profile ${CMAKE_CURRENT_LIST_DIR}/platform_profile.cpp marlune_platform)
