// Adds a certificate authority (a DER file) to the current user's Root store, so that
// TLS servers with certificates it signed are trusted for this user only.
//   trust_ca.exe <authority.der>
// Prints "added" or "already trusted"; exit code 0 in both cases, 1 on failure.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: trust_ca <authority.der>\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (FILE* file = fopen(argv[1], "rb")) {
        BYTE buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
            der.insert(der.end(), buffer, buffer + got);
        fclose(file);
    }
    if (der.empty()) {
        fprintf(stderr, "trust_ca: cannot read %s\n", argv[1]);
        return 1;
    }

    // Provider 0 and "ROOT": the current user's store, never the machine's.
    HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    if (!store) {
        fprintf(stderr, "trust_ca: cannot open the Root store (%lu)\n", GetLastError());
        return 1;
    }
    int status = 0;
    if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                         CERT_STORE_ADD_NEW, NULL)) {
        printf("added\n");
    } else if (GetLastError() == static_cast<DWORD>(CRYPT_E_EXISTS)) {
        printf("already trusted\n");
    } else {
        fprintf(stderr, "trust_ca: cannot add the certificate (0x%08lx)\n", GetLastError());
        status = 1;
    }
    CertCloseStore(store, 0);
    return status;
}
