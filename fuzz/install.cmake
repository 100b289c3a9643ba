# Zip packages, entry names and index.dat come from the catalogue server: all untrusted.
# Seeds: fuzz/corpus/install/ and fuzz/corpus/platform/.
marlune_add_fuzzer(install_zip_fuzzer ${CMAKE_CURRENT_LIST_DIR}/install/zip.cpp marlune_install)
marlune_add_fuzzer(install_entry_name_fuzzer ${CMAKE_CURRENT_LIST_DIR}/install/entry_name.cpp marlune_install)
marlune_add_fuzzer(platform_profile_fuzzer ${CMAKE_CURRENT_LIST_DIR}/install/profile.cpp marlune_platform)
