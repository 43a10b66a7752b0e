namespace vxplatform {
int placeholderAnchor = 0;
}
