# The markup document: parsing and navigation of any text, and files of any bytes.
marlune_add_fuzzer(markup_parse_fuzzer ${CMAKE_CURRENT_LIST_DIR}/markup/ParseFuzzer.cpp marlune_markup)
marlune_add_fuzzer(markup_file_fuzzer ${CMAKE_CURRENT_LIST_DIR}/markup/FileFuzzer.cpp marlune_markup)
marlune_add_fuzzer(markup_splice_fuzzer ${CMAKE_CURRENT_LIST_DIR}/markup/SpliceFuzzer.cpp marlune_markup)
