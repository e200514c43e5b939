// The tables of test documents (documents_test.cpp), shared with the
// chunking tests.
#pragma once

#include <utility>
#include <vector>

#include "streaming/stream_support.hpp"

namespace tidewell::streaming::test {

const std::vector<StreamCase>& tokenizer_cases();
const std::vector<StreamCase>& element_stack_cases();
const std::vector<StreamCase>& open_cases();
const std::vector<StreamCase>& opening_markup_cases();
const std::vector<StreamCase>& html_output_cases();
const std::vector<StreamCase>& closing_cases();
const std::vector<StreamCase>& text_cases();
const std::vector<StreamCase>& table_cases();
const std::vector<StreamCase>& code_cases();
const std::vector<StreamCase>& quote_cases();
const std::vector<StreamCase>& marker_cases();

// Every table with its name.
const std::vector<std::pair<const char*, const std::vector<StreamCase>*>>& all_case_tables();

}  // namespace tidewell::streaming::test
