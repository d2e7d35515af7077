// Placeholder entry until the program is built; replaced by the real entry.
int main() { return 0; }
