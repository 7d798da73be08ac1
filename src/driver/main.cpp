int main() { return 99; }
