package com.kaldorcodework.plimo.maven;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;
import org.codehaus.plexus.configuration.PlexusConfiguration;

/**
 * Builds the project's Windows installers with plimo-pack and attaches them to
 * the build (type exe, classifier setup-x86 or setup-x64).
 */
@Mojo(name = "pack", defaultPhase = LifecyclePhase.PACKAGE, threadSafe = true)
public class PackMojo extends AbstractMojo {
    /** A plimo-pack project file; instead of the keys below. */
    @Parameter(property = "plimo.projectFile")
    private File projectFile;

    /** x86, x64 or both. Without it: the project file's own arch, else x64. */
    @Parameter(property = "plimo.arch")
    private String arch;

    /**
     * The installer to write. With arch both, -x86 and -x64 go before its
     * extension. Default: target/FINALNAME-setup-ARCH.exe.
     */
    @Parameter(property = "plimo.output")
    private File output;

    /** A plimo-pack to run instead of the one the plugin carries for this host. */
    @Parameter(property = "plimo.pack")
    private File plimoPack;

    /** The host, as Java names it; settable to see what a build on another host would do. */
    @Parameter(property = "plimo.host.os", defaultValue = "${os.name}")
    private String hostOs;

    @Parameter(property = "plimo.host.arch", defaultValue = "${os.arch}")
    private String hostArch;

    @Parameter(property = "plimo.skip", defaultValue = "false")
    private boolean skip;

    // The project keys, with the names and meanings of the project file's.
    @Parameter(alias = "code_page")
    private String codePage;

    @Parameter
    private PlexusConfiguration payload;

    @Parameter
    private PlexusConfiguration launch;

    @Parameter
    private PlexusConfiguration runtime;

    @Parameter
    private PlexusConfiguration messages;

    @Parameter
    private PlexusConfiguration branding;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Component
    private MavenProjectHelper projectHelper;

    private static final Pattern ARCH_KEY = Pattern.compile("^\\s*arch\\s*=\\s*[\"'](x86|x64)[\"']");

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("plimo: skipped");
            return;
        }
        if (projectFile != null && (codePage != null || payload != null || launch != null || runtime != null
                                    || messages != null || branding != null)) {
            throw new MojoExecutionException("<projectFile> and project keys in the POM are both given: the keys go"
                + " either into the project file or into the POM");
        }
        File buildDir = new File(project.getBuild().getDirectory());
        File toolDir = new File(buildDir, "plimo-" + pluginVersion());
        File tool = tool(toolDir);
        File toml = projectFile != null ? projectFile : writeProject(new File(buildDir, "plimo/plimo.toml"));
        for (String a : arches(toml)) {
            File installer = installerFile(a, buildDir);
            File stub;
            try {
                stub = HostTool.unpack("plimo-" + a + ".exe", toolDir, false);
            } catch (IOException e) {
                throw new MojoExecutionException("cannot unpack the " + a + " stub: " + e.getMessage(), e);
            }
            run(tool, toml, Arrays.asList("build", toml.getAbsolutePath(), "-o", installer.getAbsolutePath(),
                                          "--arch", a, "--stub", stub.getAbsolutePath()));
            projectHelper.attachArtifact(project, "exe", "setup-" + a, installer);
        }
    }

    private String pluginVersion() {
        Package p = getClass().getPackage();
        return p != null && p.getImplementationVersion() != null ? p.getImplementationVersion() : "dev";
    }

    private File tool(File toolDir) throws MojoExecutionException {
        if (plimoPack != null) {
            if (!plimoPack.isFile()) {
                throw new MojoExecutionException("<plimoPack> names " + plimoPack + ", which is not a file");
            }
            return plimoPack;
        }
        String host = HostTool.hostName(hostOs, hostArch);
        String name = HostTool.toolFor(host);
        if (name == null) {
            throw new MojoExecutionException("plimo-maven-plugin carries no plimo-pack for this host (" + host
                + "); it carries one for " + String.join(", ", HostTool.supportedHosts())
                + ". Build plimo-pack from the plimo sources on this host and name it with"
                + " <plimoPack>/path/to/plimo-pack</plimoPack> (or -Dplimo.pack=...).");
        }
        try {
            return HostTool.unpack(name, toolDir, true);
        } catch (IOException e) {
            throw new MojoExecutionException("cannot unpack plimo-pack into " + toolDir + ": " + e.getMessage(), e);
        }
    }

    private List<String> arches(File toml) throws MojoExecutionException {
        String chosen = arch;
        if (chosen == null || chosen.isEmpty()) {
            chosen = projectFile != null ? archOf(toml) : null;
            if (chosen == null) {
                chosen = "x64";
            }
        }
        switch (chosen) {
            case "x86":
            case "x64":
                return Collections.singletonList(chosen);
            case "both":
                return Arrays.asList("x86", "x64");
            default:
                throw new MojoExecutionException("<arch> is \"" + chosen + "\"; it takes x86, x64 or both");
        }
    }

    /** The top-level arch key of a project file (before its first table), or null. */
    private static String archOf(File toml) throws MojoExecutionException {
        try {
            for (String line : Files.readAllLines(toml.toPath(), StandardCharsets.UTF_8)) {
                if (line.trim().startsWith("[")) {
                    break;
                }
                Matcher m = ARCH_KEY.matcher(line);
                if (m.find()) {
                    return m.group(1);
                }
            }
        } catch (IOException e) {
            throw new MojoExecutionException("cannot read the project file " + toml + ": " + e.getMessage(), e);
        }
        return null;
    }

    private File installerFile(String a, File buildDir) {
        if (output == null) {
            return new File(buildDir, project.getBuild().getFinalName() + "-setup-" + a + ".exe");
        }
        if (!"both".equals(arch)) {
            return output;
        }
        String name = output.getName();
        int dot = name.lastIndexOf('.');
        String stem = dot > 0 ? name.substring(0, dot) : name;
        String extension = dot > 0 ? name.substring(dot) : "";
        return new File(output.getAbsoluteFile().getParentFile(), stem + "-" + a + extension);
    }

    /** Writes the POM's project keys, completed from the Maven project, as a project file. */
    private File writeProject(File toml) throws MojoExecutionException {
        TomlWriter writer = new TomlWriter(project.getBasedir());
        if (codePage != null) {
            writer.key("code_page", codePage);
        }
        if (payload != null) {
            writer.array("payload", payload);
        } else {
            File jar = projectJar();
            writer.stringArray("payload", Collections.singletonList(jar.getAbsolutePath()));
        }
        if (launch != null) {
            writer.table("launch", launch);
        }
        if (runtime != null) {
            writer.table("runtime", runtime);
        }
        if (messages != null) {
            writer.table("messages", messages);
        }
        if (branding != null) {
            writer.table("branding", brandingWithDefaults());
        }
        try {
            Files.createDirectories(toml.getParentFile().toPath());
            Files.write(toml.toPath(), writer.toString().getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            throw new MojoExecutionException("cannot write " + toml + ": " + e.getMessage(), e);
        }
        return toml;
    }

    private File projectJar() throws MojoExecutionException {
        File jar = project.getArtifact() != null ? project.getArtifact().getFile() : null;
        if (jar == null || !jar.getName().endsWith(".jar")) {
            jar = new File(project.getBuild().getDirectory(), project.getBuild().getFinalName() + ".jar");
        }
        if (!jar.isFile()) {
            throw new MojoExecutionException("the project's jar " + jar + " does not exist: run the goal in the"
                + " package phase after the jar is built (mvn package), or name the files in <payload>");
        }
        return jar;
    }

    /** The branding asked for, with the product name and version taken from the project where not given. */
    private PlexusConfiguration brandingWithDefaults() throws MojoExecutionException {
        if (branding.getChild("product_name", false) == null) {
            String name = project.getName() != null ? project.getName() : project.getArtifactId();
            branding.addChild("product_name", name);
        }
        if (branding.getChild("product_version", false) == null) {
            String version = project.getVersion();
            String numbers = ProjectVersion.numbers(version);
            if (numbers == null) {
                throw new MojoExecutionException("the project version \"" + version + "\" holds no numbers for the"
                    + " installer's version information: set <branding><product_version>1.0</product_version>");
            }
            if (!numbers.equals(version)) {
                getLog().info("plimo: branding.product_version is " + numbers + ", the numbers of the project version "
                    + version);
            }
            branding.addChild("product_version", numbers);
        }
        return branding;
    }

    /** Runs plimo-pack; its output goes to Maven's log, and its errors fail the build. */
    private void run(File tool, File toml, List<String> arguments) throws MojoExecutionException, MojoFailureException {
        List<String> command = new ArrayList<>();
        command.add(tool.getAbsolutePath());
        command.addAll(arguments);
        getLog().debug("plimo: " + String.join(" ", command));
        Process process;
        try {
            process = new ProcessBuilder(command).redirectErrorStream(true).start();
        } catch (IOException e) {
            throw new MojoExecutionException("cannot run " + tool + ": " + e.getMessage(), e);
        }
        List<String> errors = new ArrayList<>();
        try (BufferedReader reader = new BufferedReader(
                 new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))) {
            for (String line; (line = reader.readLine()) != null; ) {
                if (line.contains(": error: ") || line.contains("nothing written")) {
                    getLog().error(line);
                    errors.add(line);
                } else if (line.contains(": warning: ")) {
                    getLog().warn(line);
                } else {
                    getLog().info(line);
                }
            }
            int status = process.waitFor();
            if (status != 0) {
                throw new MojoFailureException("plimo-pack could not build an installer from " + toml + " (exit code "
                    + status + "):\n" + String.join("\n", errors));
            }
        } catch (IOException e) {
            throw new MojoExecutionException("cannot read plimo-pack's output: " + e.getMessage(), e);
        } catch (InterruptedException e) {
            process.destroy();
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("interrupted while plimo-pack ran", e);
        }
    }
}
