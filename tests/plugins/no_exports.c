/* Test shared object without any nfd_ export. */
int velmora_test_unrelated_function(int x) { return x + 1; }
