#include "system_error_text.h"

#include <cerrno>
#include <cstring>

std::string SystemErrorText(int Errno) {
    switch (Errno) {
        case EACCES:
        case EPERM:
            return "没有权限";
        case ENOSPC:
        case EDQUOT:
            return "磁盘空间不足";
        case ENOENT:
            return "文件或文件夹不存在";
        case ENOTDIR:
            return "路径中有一项不是文件夹";
        case EISDIR:
            return "该名称是一个文件夹";
        case EROFS:
            return "文件系统只读";
        case ENAMETOOLONG:
            return "文件名太长";
        case ELOOP:
            return "该名称是一个链接";
        case EIO:
            return "读写错误";
        case EMFILE:
        case ENFILE:
            return "打开的文件太多";
        case EFBIG:
            return "文件太大";
        case ETXTBSY:
            return "文件正被运行";
        default:
            return std::strerror(Errno);
    }
}
