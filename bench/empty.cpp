// The baseline for start-up measurements: a GUI-subsystem program that does nothing.
int main() { return 0; }
