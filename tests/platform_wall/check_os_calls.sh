#!/bin/sh
# Fails when core code outside the platform layer reaches the operating system itself: includes
# an OS header or calls the C library's or the standard library's file functions.
# Argument: the project's source folder.
set -eu
cd "$1"

# Places that may talk to the OS: the platform layer, and the native renderers (GTK, Win32).
allowed='^src/(platform|ui/gtk|ui/win32)/'

os_headers='unistd\.h|fcntl\.h|sys/[A-Za-z0-9_/]+\.h|dirent\.h|dlfcn\.h|pthread\.h|signal\.h|csignal|elf\.h|link\.h|execinfo\.h|sched\.h|semaphore\.h|poll\.h|termios\.h|spawn\.h|syslog\.h|pwd\.h|grp\.h|utime\.h|netdb\.h|netinet/[a-z_]+\.h|arpa/[a-z_]+\.h|windows\.h|winbase\.h|winuser\.h|winreg\.h|winnt\.h|io\.h|direct\.h|process\.h|shlobj\.h|shellapi\.h|objbase\.h|oleauto\.h|winsock2?\.h|fstream|filesystem'
file_calls='\b(fopen|fdopen|freopen|fclose|fread|fwrite|fgets|fputs|fprintf|fscanf|fseek|ftell|fflush|tmpfile|tmpnam|opendir|readdir|dlopen|dlsym|dladdr|mmap)\b|std::rename\(|std::remove\([^,;]*\);|std::(i|o)?fstream|std::filesystem|(^|[^A-Za-z0-9_:])::(open|close|read|write|unlink|stat|lstat|fstat|lseek|ftruncate|rename|remove|mkdir|rmdir|flock)\('

found=0
for file in $(find src -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort); do
    if echo "$file" | grep -Eq "$allowed"; then continue; fi
    if grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($os_headers)>" "$file"; then
        echo "  ^ $file: OS header outside the platform layer"
        found=1
    fi
    if grep -nE "$file_calls" "$file" | grep -vE '^[0-9]+:[[:space:]]*//'; then
        echo "  ^ $file: OS or file call outside the platform layer"
        found=1
    fi
done
if [ "$found" -ne 0 ]; then
    echo "os calls: FAILED"
    exit 1
fi
echo "os calls: ok"
