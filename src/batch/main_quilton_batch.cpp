// Placeholder until the command-line batch lands.
int main() { return 0; }
