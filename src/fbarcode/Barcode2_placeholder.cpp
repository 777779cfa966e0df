namespace kova_print_unit {}
