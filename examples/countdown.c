int main() {
  int n = 10, total = 0;
  while (n > 0) {
    total = total + n * 2;
    n = n - 1;
  }
}
