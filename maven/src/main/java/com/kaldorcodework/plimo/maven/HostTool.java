package com.kaldorcodework.plimo.maven;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.net.URLConnection;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * The files the plugin's jar carries (below {@code plimo/}): the two stubs and one
 * plimo-pack per host it was built for. They are unpacked into the build directory
 * once and reused by later builds of the same plugin version.
 */
final class HostTool {
    static final String RESOURCE_DIR = "plimo/";

    /** Host name (as the messages show it) to the bundled plimo-pack's resource name. */
    private static final Map<String, String> TOOLS = new LinkedHashMap<>();
    static {
        TOOLS.put("linux-x86_64", "plimo-pack");
        TOOLS.put("linux-aarch64", "plimo-pack-linux-aarch64");
        TOOLS.put("windows-x86_64", "plimo-pack.exe");
    }

    private HostTool() {
    }

    /**
     * The host as "os-arch" from Java's os.name and os.arch, in the names of TOOLS;
     * anything else keeps its own spelling, so a message can name it.
     */
    static String hostName(String osName, String osArch) {
        String os = osName.toLowerCase(Locale.ROOT);
        String arch = osArch.toLowerCase(Locale.ROOT);
        if (os.startsWith("windows")) {
            os = "windows";
        } else if (os.startsWith("mac")) {
            os = "macos";
        }
        if (arch.equals("amd64") || arch.equals("x86-64")) {
            arch = "x86_64";
        } else if (arch.equals("arm64")) {
            arch = "aarch64";
        }
        return os.replace(' ', '_') + "-" + arch;
    }

    /** The bundled tool's resource name for the host; null when none is carried. */
    static String toolFor(String host) {
        String name = TOOLS.get(host);
        return name != null && resource(name) != null ? name : null;
    }

    /** Hosts whose plimo-pack this jar really carries. */
    static List<String> supportedHosts() {
        List<String> hosts = new ArrayList<>();
        for (Map.Entry<String, String> tool : TOOLS.entrySet()) {
            if (resource(tool.getValue()) != null) {
                hosts.add(tool.getKey());
            }
        }
        return hosts;
    }

    static URL resource(String name) {
        return HostTool.class.getClassLoader().getResource(RESOURCE_DIR + name);
    }

    /**
     * Unpacks a carried file into dir unless a file of the same size is there
     * already. It is written beside its final name and moved into place, so that
     * modules built in parallel never see (or run) half a file.
     */
    static File unpack(String name, File dir, boolean executable) throws IOException {
        URL url = resource(name);
        if (url == null) {
            throw new IOException("the plugin's jar does not carry " + RESOURCE_DIR + name);
        }
        File target = new File(dir, name);
        URLConnection connection = url.openConnection();
        connection.setUseCaches(false);  // a jar URL otherwise keeps the plugin's jar open
        long size = connection.getContentLengthLong();
        try (InputStream in = connection.getInputStream()) {
            if (target.isFile() && target.length() == size && (!executable || target.canExecute())) {
                return target;
            }
            Files.createDirectories(dir.toPath());
            File partial = File.createTempFile("." + name, ".part", dir);
            try {
                Files.copy(in, partial.toPath(), StandardCopyOption.REPLACE_EXISTING);
                if (executable && !partial.setExecutable(true)) {
                    throw new IOException("cannot make " + partial + " executable");
                }
                Files.move(partial.toPath(), target.toPath(), StandardCopyOption.REPLACE_EXISTING,
                           StandardCopyOption.ATOMIC_MOVE);
            } finally {
                Files.deleteIfExists(partial.toPath());
            }
        }
        return target;
    }
}
