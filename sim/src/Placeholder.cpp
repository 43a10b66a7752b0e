namespace vxsim {
int placeholderAnchor = 0;
}
