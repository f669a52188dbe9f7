// The parameter record size of another build.
extern "C" {
int paraminfosize = 28;
}
