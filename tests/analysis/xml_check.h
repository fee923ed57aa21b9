// xmllint's verdict on a document (Debian package libxml2-utils).
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#if !defined(_WIN32)
#include <unistd.h>
#endif

inline void expectWellFormedXml(const std::string& document)
{
#if defined(_WIN32)
    (void)document;  // no xmllint beside the Windows build
#else
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) {
        ADD_FAILURE() << "xmllint is missing (Debian package libxml2-utils)";
        return;
    }
    char path[] = "/tmp/trakmon-xml-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path, std::ios::binary) << document;
    std::string command = std::string("xmllint --noout ") + path + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << document.substr(0, 2000);
    std::remove(path);
#endif
}
