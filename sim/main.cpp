// vxsim: serves simulated controller systems; the protocols join as they land.
int main() { return 0; }
